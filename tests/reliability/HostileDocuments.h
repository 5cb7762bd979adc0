// Documents an attacker could send, shared by the reliability tests and the
// probe that measures them in a process of their own.
#pragma once

#include <cstddef>
#include <string>

namespace hostile {

// Ten entities of ten references each: 10^10 bytes once expanded.
inline std::string BillionLaughs() {
  std::string text = "<?xml version=\"1.0\"?>\n<!DOCTYPE Integration [\n<!ENTITY a \"lollollollol\">\n";
  for (char level = 'b'; level <= 'k'; ++level) {
    text += std::string("<!ENTITY ") + level + " \"";
    for (int i = 0; i < 10; ++i) text += std::string("&") + static_cast<char>(level - 1) + ";";
    text += "\">\n";
  }
  return text + "]>\n<Integration version=\"1\">&k;</Integration>\n";
}

// One entity of `size` bytes referenced `count` times, in element content or
// in one attribute value.
inline std::string QuadraticBlowup(std::size_t size, int count, bool inAttribute = false) {
  std::string text = "<!DOCTYPE Integration [<!ENTITY a \"" + std::string(size, 'q') + "\">]>\n";
  std::string references;
  for (int i = 0; i < count; ++i) references += "&a;";
  return text + (inAttribute ? "<Integration version=\"" + references + "\"/>"
                             : "<Integration version=\"1\">" + references + "</Integration>");
}

// `depth` nested elements: the root, then "n" elements.
inline std::string Nested(int depth) {
  std::string text;
  text.reserve(static_cast<std::size_t>(depth) * 7 + 64);
  text += "<Integration version=\"1\">";
  for (int i = 1; i < depth; ++i) text += "<n>";
  for (int i = 1; i < depth; ++i) text += "</n>";
  return text + "</Integration>";
}

}  // namespace hostile
