#include "UuidFile.h"

#include "EdsutilSystem.h"

namespace edsutil {

std::string NewUuid() { return SystemUuid(); }

std::string UuidFileLine(const std::string& uuid) {
  // Three characters between the marker and the uuid, three after it: the
  // reader skips the first three and keeps the blank of the last three,
  // which its strip removes.
  return std::string(kUuidMarker) + "/* " + uuid + " */";
}

std::string UuidFileText(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += UuidFileLine(NewUuid()) + "\n";
  return text;
}

}  // namespace edsutil
