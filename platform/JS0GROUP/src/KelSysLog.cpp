#include "KelSysLog.h"

#include <cstdio>

namespace {
KelSysLogSink g_sink = nullptr;
void* g_context = nullptr;
}  // namespace

void KelSysLogAbend(const char* message) {
  if (message == nullptr) message = "";
  if (g_sink != nullptr) {
    g_sink(message, g_context);
    return;
  }
  std::fprintf(stderr, "%s\n", message);
}

KelSysLogSink KelSetSysLogSink(KelSysLogSink sink, void* context, void** previousContext) {
  KelSysLogSink previous = g_sink;
  if (previousContext != nullptr) *previousContext = g_context;
  g_sink = sink;
  g_context = context;
  return previous;
}
