// The object modeler's 1-based list of object pointers. The list holds the
// pointers only: reference counting is its user's business.
#pragma once

#include "KelList.h"

class KelBaseUnknown;
using KelListPtrKelBaseUnknown = KelList<KelBaseUnknown*>;
