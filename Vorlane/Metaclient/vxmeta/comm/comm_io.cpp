#include "vxmeta/comm/comm_io.h"

#include <algorithm>

namespace VxMeta {

CommIO::~CommIO() = default;

void CommIO::getRequestData(uint8_t* buffer) const { std::copy(requestData.begin(), requestData.end(), buffer); }

void CommIO::setResponseData(const uint8_t* bytes, std::size_t length) { responseData.assign(bytes, bytes + length); }

} // namespace VxMeta
