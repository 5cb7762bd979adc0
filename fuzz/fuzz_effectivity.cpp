// Effectivity texts: parsing never fails hard, and what parses compares and
// unites with itself sensibly.
#include <cstdlib>

#include "FuzzInput.h"
#include "KelEdsEffectivityTool.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  KelEdsEffectivityTool tool;
  KelRawCollint lowers, uppers;
  long code = tool.ParseEffectivityRange(FuzzText(data, size), lowers, uppers);
  if (lowers.Size() != uppers.Size()) std::abort();
  for (int i = 1; i <= lowers.Size(); ++i) {
    if (lowers[i] < 0 || uppers[i] < 0) std::abort();
  }
  if (code >= 0 && lowers.Size() > 0) {
    KelEdsEffMatchingStatusEnum status = KelEdsEffUnset;
    if (tool.CompareEffectivityRange(lowers, uppers, lowers, uppers, status) < 0 || status != KelEdsEffIdentical)
      std::abort();
    KelRawCollint unionLowers, unionUppers;
    if (tool.ComputeUnionEffectivityRange(lowers, uppers, lowers, uppers, unionLowers, unionUppers) < 0) std::abort();
    if (unionLowers.Size() != unionUppers.Size() || unionLowers.Size() == 0) std::abort();
  }
  return 0;
}
