// Uses the installed headers and libraries as a host would.
#include <cstdio>

#include "KelEdsUtil.h"
#include "KelListValKelUnicodeString.h"
#include "KelUnicodeString.h"

int main() {
  KelListValKelUnicodeString names;
  names.Append(KelUnicodeString("Work_Package"));
  if (VANTOREL_Zeb2_INTERNAL_KelEdsUtil() != 1 || names.Locate("Work_Package") != 1) return 1;
  std::printf("consumer ok\n");
  return 0;
}
