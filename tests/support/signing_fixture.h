// A logged-in user for the signed-record tests: one RSA key pair made for the whole test program,
// installed as the logged-in private key with an own identity record (myPID) that carries its
// public key. Each test starts from that state and leaves nothing behind.
#pragma once

#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "vxmeta/crypto/library_started.h"
#include "vxmeta/crypto/rsa_keys.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/pid.h"
#include "vxmeta/sync/meta_state.h"

namespace VxMetaTest {

struct TestKeys {
    std::string publicKey;
    std::string privateKey;
};

inline const TestKeys& testKeys() {
    static const TestKeys keys = [] {
        TestKeys k;
        VxMeta::generateRSAKeys(k.publicKey, k.privateKey);
        return k;
    }();
    return keys;
}

inline const char* const ownUrn = "urn:vx:user/own";

class LoggedInUser : public ::testing::Test {
protected:
    void SetUp() override {
        // Started first: the start empties the dataset and the global state.
        VxMeta::init();
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::globalState.clear();
        VxMeta::globalState.myPrikey = testKeys().privateKey;
        VxMeta::myPID = std::make_shared<VxMeta::PID>();
        VxMeta::myPID->urn = ownUrn;
        VxMeta::myPID->pubkey = testKeys().publicKey;
    }
    void TearDown() override {
        VxMeta::LockScope lock(VxMeta::masterMutex);
        VxMeta::globalState.clear();
        VxMeta::myPID.reset();
    }
};

} // namespace VxMetaTest
