// MonitoredSafeString: the holder of the user's decrypted private key. A wrapper around one text
// that wipes the bytes it held whenever they are replaced, cleared or released.
#pragma once

#include <cstddef>
#include <string>

namespace VxMeta {

// Overwrites the text's bytes and empties it.
void wipeText(std::string& text);

class MonitoredSafeString {
public:
    MonitoredSafeString() = default;
    MonitoredSafeString(const MonitoredSafeString& other) = default;
    MonitoredSafeString& operator=(const MonitoredSafeString& other);
    MonitoredSafeString& operator=(const std::string& text);
    ~MonitoredSafeString();

    bool operator!=(const std::string& text) const { return value != text; }
    size_t length() const { return value.size(); }
    bool empty() const { return value.empty(); }
    void clear();
    operator std::string() const { return value; }

private:
    std::string value;
};

} // namespace VxMeta
