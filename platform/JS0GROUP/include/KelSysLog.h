// KelSysLogAbend: records a message about an abnormal condition; the caller
// carries on. Messages go to standard error, one per line, unless a sink is
// installed (tests install one to capture them).
//
// Threading: the sink is process-wide; install it before use, not while other
// threads log.
#pragma once

#include "ExportedByJS0GROUP.h"

ExportedByJS0GROUP void KelSysLogAbend(const char* message);

typedef void (*KelSysLogSink)(const char* message, void* context);
// Installs a sink (null restores standard error); returns the previous one.
ExportedByJS0GROUP KelSysLogSink KelSetSysLogSink(KelSysLogSink sink, void* context, void** previousContext = nullptr);
