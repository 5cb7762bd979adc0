// Module entry points of KelEdsUtil that are not classes.
#pragma once

#include "ExportedByKelEdsUtil.h"

// Marker of the module: returns 1 and does nothing else.
extern "C" ExportedByKelEdsUtil int VANTOREL_Zeb2_INTERNAL_KelEdsUtil();
