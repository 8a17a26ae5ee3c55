#include "vxmeta/access/monitored_safe_string.h"

#include <openssl/crypto.h>

namespace VxMeta {

namespace {

void wipe(std::string& text) {
    if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}

} // namespace

MonitoredSafeString& MonitoredSafeString::operator=(const MonitoredSafeString& other) {
    if (this != &other) *this = other.value;
    return *this;
}

MonitoredSafeString& MonitoredSafeString::operator=(const std::string& text) {
    std::string copy(text);
    wipe(value);
    value.swap(copy);
    return *this;
}

MonitoredSafeString::~MonitoredSafeString() { wipe(value); }

void MonitoredSafeString::clear() { wipe(value); }

} // namespace VxMeta
