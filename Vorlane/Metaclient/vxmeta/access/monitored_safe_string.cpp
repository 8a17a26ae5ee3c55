#include "vxmeta/access/monitored_safe_string.h"

#include <openssl/crypto.h>

namespace VxMeta {

void wipeText(std::string& text) {
    if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
    text.clear();
}

MonitoredSafeString& MonitoredSafeString::operator=(const MonitoredSafeString& other) {
    if (this != &other) *this = other.value;
    return *this;
}

MonitoredSafeString& MonitoredSafeString::operator=(const std::string& text) {
    std::string copy(text);
    wipeText(value);
    value.swap(copy);
    return *this;
}

MonitoredSafeString::~MonitoredSafeString() { wipeText(value); }

void MonitoredSafeString::clear() { wipeText(value); }

} // namespace VxMeta
