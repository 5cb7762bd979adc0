// A small tour of the library for a host: loads the module and shows the
// platform string at work.
#include <cstdio>

#include "KelEdsUtil.h"
#include "KelUnicodeString.h"

int main() {
  KelUnicodeString greeting("Câble réseau — 电缆 🔌");
  std::printf("module marker: %d\n", VANTOREL_Zeb2_INTERNAL_KelEdsUtil());
  std::printf("text: %s (%d UTF-16 units)\n", greeting.ConvertToChar(), greeting.GetLengthInChar());
  return VANTOREL_Zeb2_INTERNAL_KelEdsUtil() == 1 ? 0 : 1;
}
