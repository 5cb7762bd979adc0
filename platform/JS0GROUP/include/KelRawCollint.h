// The platform's 1-based list of integers.
#pragma once

#include "KelList.h"

using KelRawCollint = KelList<int>;
