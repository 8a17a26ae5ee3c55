// What the framework tests over the test key service share: the program's one API object holder
// (the API object is never destroyed, so one serves every test), the account fixture of the
// library's tests with the test domain served by the first instance, and the framework's MFA set-up
// undone after each test.
#pragma once

#include <memory>

#include "Vorlane/VorlaneWrapper/vorlane_wrapper.h"
#include "vxmeta/accounts/mfa_verification_callback.h"
#include "vxmeta/accounts/service/account_service_fixture.h"

namespace VorlaneTest {

inline std::shared_ptr<VorlaneBridge::VorlaneWrapper> programWrapper() {
    // Never destroyed, so the API object it holds stays reachable to the end.
    static const auto* const wrapper =
        new std::shared_ptr<VorlaneBridge::VorlaneWrapper>(std::make_shared<VorlaneBridge::VorlaneWrapper>());
    return *wrapper;
}

class FrameworkServiceTest : public VxMeta::testing::AccountServiceTest {
protected:
    static constexpr char kDirectoryPassword[] = "directory \u00df secret";

    void SetUp() override {
        AccountServiceTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) return; // no service: skipped, or failed in CI
        nameServer("", "example.test", service.servers.at(0), service.servicePublicKey);
    }
    void TearDown() override {
        VxMeta::setMfaVerificationCallback(nullptr);
        VxMeta::setCapableMfaKinds({}, {});
        AccountServiceTest::TearDown();
    }
    // How many requests the service read whose API path (without query) is `path`.
    size_t requestsTo(const std::string& path) const { return count(paths(), path); }
};

} // namespace VorlaneTest
