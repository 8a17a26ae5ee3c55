// The one conversion of the library's failures into the framework's error value: domain
// "VorlaneErrorDomain", code 0, and the exception's category, message and reason texts in the user info.
#pragma once

#include "Platform/error.h"
#include "vxmeta/foundation/exception.h"

namespace VorlaneBridge {

inline constexpr char VLErrorDomain[] = "VorlaneErrorDomain";
inline constexpr char VLCategoryKey[] = "VLCategory";
inline constexpr char VLMessageKey[] = "VLMessage";
inline constexpr char VLReasonKey[] = "VLReason";

// Each text is present only when it is not empty.
Platform::Error errorWithVxMetaException(const VxMeta::VxMetaException& exception);

} // namespace VorlaneBridge
