// Uses the installed headers and libraries as a host would.
#include <cstdio>
#include <cstring>

#include "KelEdsUtil.h"
#include "KelEdsXMLParser.h"

int main() {
  KelListValKelUnicodeString names;
  names.Append(KelUnicodeString("Work_Package"));
  if (VANTOREL_Zeb2_INTERNAL_KelEdsUtil() != 1 || names.Locate("Work_Package") != 1) return 1;

  // A job document validated against the installed DTD (KelDictionaryPath
  // names its folder).
  const char text[] =
      "<!DOCTYPE Integration SYSTEM \"KelEdsJobs.dtd\"><Integration version=\"1\">"
      "<EDB_Job EDB_Id=\"J1\" EDB_Type=\"t\" EDB_JobInput=\"\"/></Integration>";
  const _SEQUENCE_octet bytes(std::strlen(text), reinterpret_cast<const unsigned char*>(text));
  KelEdsXMLParser jobs;
  KelUnicodeString id, type, input;
  if (jobs.LoadStream(&bytes, 1, "KelEdsJobs.dtd") < 0 || jobs.GetSingleJobDefinition(id, type, input) < 0) return 2;
  if (id != KelUnicodeString("J1")) return 3;
  std::printf("consumer ok\n");
  return 0;
}
