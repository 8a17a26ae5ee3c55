// The one conversion of the library's failures into the framework's error values, and the accessors
// that read the library's texts back out of any error value.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "Platform/error.h"

namespace VxMeta {
class VxMetaException;
}

namespace VorlaneBridge {

inline constexpr char VLErrorDomain[] = "VorlaneErrorDomain";
inline constexpr char VLCategoryKey[] = "VLCategory";
inline constexpr char VLMessageKey[] = "VLMessage";
inline constexpr char VLReasonKey[] = "VLReason";

// Category, message and reason of the exception under their keys, each only when not empty.
std::map<std::string, std::string> parseException(const VxMeta::VxMetaException& exception);
// Domain VLErrorDomain, code 0, the texts of parseException.
Platform::Error errorWithVxMetaException(const VxMeta::VxMetaException& exception);

// The texts under the three keys, whatever the error's domain; none where the key is absent.
std::optional<std::string> vxmetaCategory(const Platform::Error& error);
std::optional<std::string> vxmetaMessage(const Platform::Error& error);
std::optional<std::string> vxmetaReason(const Platform::Error& error);

} // namespace VorlaneBridge
