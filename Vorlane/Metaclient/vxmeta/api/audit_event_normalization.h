// Normalization of audit events before they are sent: "authentication" becomes "signature", null
// "modified" and "size" go and, in the factored event mode (0), members that carry nothing (null,
// empty text, zero, false, empty array or object), trust records with code 0 and the empty parts of
// the key facts are removed, so that events stay small. Members of an unexpected type are left alone.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include <json/value.h>

namespace VxMeta {

// Normalizes one event in place; mode 0 fully, any other mode only the renaming and the null
// "modified" and "size". A value that is not an object is left unchanged.
void normalizeDSIEntry(Json::Value& entry, int mode);
// The text parsed, normalized in mode 0 and rendered indented; a value that is not an object is
// rendered unchanged.
std::string DSI(const std::string& text);

// Member operations of the normalization, on a value and a member name.
// The value is an object holding the member.
bool has(const Json::Value& value, const char* name);
// has, and the member is null, an empty text, a zero number, false, or an empty array or object.
bool elidable(const Json::Value& value, const char* name);
// Removes the member when it is elidable. Yields the member when it remains as an object (to work
// inside it), else a null value of the calling thread's own that the caller must not keep.
Json::Value& elide(Json::Value& value, const char* name);
// has, and the member is a number equal to the given one.
bool matches(const Json::Value& value, const char* name, int64_t number);
// Removes the member when it is present and null.
void removeNull(Json::Value& value, const char* name);
// Elides the member; when it remains as an array, calls the function on each element in order.
void forEach(Json::Value& value, const char* name, const std::function<void(Json::Value&)>& function);
// Elides the element's "trust"; removes it when it remains as an object whose "code" is 0.
void cleanTrust(Json::Value& element);
// For an object: elides every member, goes into each member that remains as an object, then elides
// every member once more (members emptied by the inner passes go too).
void elideAllMembers(Json::Value& value);

} // namespace VxMeta
