// The one conversion from the library's VxMetaException to the error value that the framework's
// methods hand to their host, and the accessors with which a host reads the library's category,
// message and reason texts back out of such an error (of any domain).
#pragma once

#include <map>
#include <optional>
#include <string>

#include "Platform/error.h"

namespace VxMeta {
class VxMetaException;
}

namespace VorlaneBridge {

// The domain of every converted error, and the text-map keys of the exception's three texts.
inline constexpr char VLErrorDomain[] = "VorlaneErrorDomain";
inline constexpr char VLCategoryKey[] = "VLCategory";
inline constexpr char VLMessageKey[] = "VLMessage";
inline constexpr char VLReasonKey[] = "VLReason";

// Domain VLErrorDomain, code 0, the text map of parseException. Never throws.
Platform::Error errorWithVxMetaException(const VxMeta::VxMetaException& exception);

// The category, the message (what() of the exception) and the reason under their keys, each only when
// it is not empty. Texts that are not well-formed UTF-8 (a reason can come from the service) are
// carried with each malformed sequence replaced by U+FFFD.
std::map<std::string, std::string> parseException(const VxMeta::VxMetaException& exception);

// The text under VLCategoryKey, VLMessageKey or VLReasonKey of any error, or nothing.
std::optional<std::string> vxmetaCategory(const Platform::Error& error);
std::optional<std::string> vxmetaMessage(const Platform::Error& error);
std::optional<std::string> vxmetaReason(const Platform::Error& error);

} // namespace VorlaneBridge
