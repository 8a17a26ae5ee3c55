#include "vxmeta/access/server_settings.h"

#include "vxmeta/access/state_seam.h"
#include "vxmeta/comm/cluster_evaluator.h"
#include "vxmeta/comm/url.h"
#include "vxmeta/foundation/lock_scope.h"
#include "vxmeta/foundation/log.h"
#include "vxmeta/records/dataset_lists.h"
#include "vxmeta/records/persists.h"

namespace VxMeta {

void setMds(const std::string& prefix, const std::string& pubkey) {
    TarvexProtocol::UrlPtr url = TarvexProtocol::Url::newInstance(prefix, "");
    LockScope lock(masterMutex);
    getMyClusterEvaluator()->setClusterInfo(url);
    if (myPersists && myPersists->setPrefix != url->baseUrl) {
        myPersists->setPrefix = url->baseUrl;
        myPersists->localDirty = true;
    }
    VXLOG(5, "Setting prefix=\"%s\"", prefix.c_str());
    setMdsPubkey(pubkey);
}

void setMdsPubkey(const std::string& pubkey) {
    LockScope lock(masterMutex);
    VXLOG(5, "Setting pubKey=\"%s\"", pubkey.c_str());
    setServicePublicKey(pubkey);
    if (myPersists && myPersists->mdsPubkey != pubkey) {
        myPersists->mdsPubkey = pubkey;
        myPersists->localDirty = true;
    }
}

} // namespace VxMeta
