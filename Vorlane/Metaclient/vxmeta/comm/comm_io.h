// CommIO: the record of one HTTP exchange that crosses to the host's transport. The executor fills
// the request side, the transport the reply side (and adds the reply headers to the header map).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace VxMeta {

struct CommIO {
    bool implicitAuth = false; // authenticate with the operating-system identity (transports may ignore it)
    std::string method;        // "GET", "POST", "PUT" or "DELETE"
    std::string url;           // the full URL
    std::unordered_map<std::string, std::string> headers; // request headers; reply headers are added
    std::vector<uint8_t> requestData;
    std::string contentType;   // "json" when the request has a body, empty otherwise
    int32_t status = 0;        // HTTP status; 0 when no reply arrived
    std::vector<uint8_t> responseData;
    std::string errorMessage;  // transport error text; empty when the exchange completed

    CommIO() = default;
    CommIO(const CommIO&) = default;
    CommIO& operator=(const CommIO&) = default;
    ~CommIO();

    // Copies every request byte into `buffer`, which holds at least requestData.size() bytes.
    void getRequestData(uint8_t* buffer) const;
    // Replaces the reply bytes with a copy of `length` bytes.
    void setResponseData(const uint8_t* bytes, std::size_t length);
};

} // namespace VxMeta
