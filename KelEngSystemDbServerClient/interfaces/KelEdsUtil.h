// Module entry points of KelEdsUtil that are not classes.
#pragma once

#include "ExportedByKelEdsUtil.h"
#include "KelBaseUnknown.h"

// Marker of the module: returns 1 and does nothing else.
extern "C" ExportedByKelEdsUtil int VANTOREL_Zeb2_INTERNAL_KelEdsUtil();

// Adaptor factory of the module's entity resolver: the KelISAXEntityResolver
// face of `implementation` (which must be a KelEEdsSAXEntityResolver), with
// one reference, or null when it cannot be allocated or `implementation` is
// null. `outer` is not used. The module registers it in the interface
// dictionary when it loads, so hosts normally reach it through
// QueryInterface.
ExportedByKelEdsUtil KelBaseUnknown* CreateTIEKelISAXEntityResolverKelEEdsSAXEntityResolver(
    KelBaseUnknown* implementation, KelBaseUnknown* outer);
