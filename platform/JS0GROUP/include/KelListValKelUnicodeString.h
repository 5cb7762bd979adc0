// The platform's 1-based list of strings.
#pragma once

#include "KelList.h"
#include "KelUnicodeString.h"

using KelListValKelUnicodeString = KelList<KelUnicodeString>;
