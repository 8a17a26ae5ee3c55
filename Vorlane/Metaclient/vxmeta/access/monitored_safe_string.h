// MonitoredSafeString: the holder of the user's decrypted private key. A wrapper around one text
// that wipes the bytes it held whenever they are replaced, cleared or released.
#pragma once

#include <cstddef>
#include <string>
#include <utility>

namespace VxMeta {

// Overwrites the text's bytes and empties it.
void wipeText(std::string& text);

// A secret held for the length of one scope: its text is wiped when the holder goes, thrown past or
// not.
struct WipedText {
    explicit WipedText(std::string value) : text(std::move(value)) {}
    WipedText(const WipedText&) = delete;
    WipedText& operator=(const WipedText&) = delete;
    ~WipedText() { wipeText(text); }

    std::string text;
};

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
