// The uuid file from which the metadata dictionary document draws its uuids.
//
// The reader uses only lines that hold the marker "INTERFACENAME = { ". From
// such a line it drops the line end, skips the marker and the 3 characters
// after it, keeps what runs up to the third character before the end of the
// line, and strips blanks. A line written by UuidFileLine,
//
//   INTERFACENAME = { /* 0F8FAD5B-D9CB-469F-A165-70867728950E */
//
// therefore gives back exactly its 36-character uuid. Every line, the last
// included, ends with "\n": the reader drops the last character of a line
// whatever it is.
//
// Used by `edsutil uuids`, and meant for any command that needs a uuid file
// of its own (the metadata dictionary document). Not thread-safe in any
// special way; it keeps no state.
#pragma once

#include <string>

namespace edsutil {

// Text that precedes every uuid in the file.
constexpr const char* kUuidMarker = "INTERFACENAME = { ";

// A random (version 4) uuid in the 8-4-4-4-12 form, upper-case hex digits
// like the fixed identifiers of the schema.
std::string NewUuid();

// One line of the uuid file for `uuid`, without its line end.
std::string UuidFileLine(const std::string& uuid);

// A whole uuid file of `count` fresh uuids, each line ended by "\n".
std::string UuidFileText(int count);

}  // namespace edsutil
