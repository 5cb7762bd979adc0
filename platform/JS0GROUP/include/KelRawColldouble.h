// The platform's 1-based list of doubles.
#pragma once

#include "KelList.h"

using KelRawColldouble = KelList<double>;
