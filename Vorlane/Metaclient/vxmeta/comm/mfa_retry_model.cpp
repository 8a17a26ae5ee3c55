#include "vxmeta/comm/mfa_retry_model.h"

namespace VxMeta {

MfaRetryModel::~MfaRetryModel() = default;

std::atomic<MfaRetryModelFactory> mfaRetryModelFactory{nullptr};

} // namespace VxMeta
