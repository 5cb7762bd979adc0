// The builder's options, read from the platform's two parallel lists, and
// the check that keeps every parse off the network.
#pragma once

#include <string>

#include "KelListValKelUnicodeString.h"

namespace kelxml {

struct Options {
  bool validate = false;  // "KelDoValidation"
  bool expand = true;     // "KelExpandEntityReferences"
  bool pretty = false;    // "KelFormatPrettyPrint"
  // "KelParseWithLibxml2", an extension of the stand-in: every document is
  // parsed by libxml2, none by the quick reader (to hold one to the other).
  bool libxml2_only = false;
};

// Reads the option lists into `options` (unknown names are ignored); false,
// with `problem` said, for lists of different lengths or a refused value.
bool ReadOptions(const KelListValKelUnicodeString& names, const KelListValKelUnicodeString& values, Options& options,
                 std::string& problem);

// Whether an identifier names a location reached through a network: it has a
// URI scheme (two characters at least, so that a drive letter is not one)
// other than "file".
bool IsNetworkLocation(const char* identifier);

}  // namespace kelxml
