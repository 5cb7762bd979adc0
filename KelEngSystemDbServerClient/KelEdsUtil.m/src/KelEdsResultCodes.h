// KelEdsResultCodes: the module's result-code helpers, one pair for every
// source that takes its codes from the platform.
//
// Failure(line) is KelError::GetReturn with flag 0 and the source's name: a
// negative code that KelError::GetReturnOrigin traces back to (source, line).
// Success(line) is the same call with flag 1 (a success code; the line only
// documents the site). A source names itself once and binds the pair:
//
//   constexpr char kSourceFile[] = "KelEngSystemDbServerClient/KelEdsUtil.m/src/KelEdsXMLParser";
//   constexpr auto Failure = KelEdsResultCodes<kSourceFile>::Failure;
//   constexpr auto Success = KelEdsResultCodes<kSourceFile>::Success;
//
// Which line a site passes:
// - Most sources pass __LINE__: their codes are only ever tested for their
//   sign, and where they come from is a debugging aid.
// - The metadata tool, the schema dictionary and the metadata document pass
//   fixed numbers (Failure(3023), Failure(1318), ...). Those (source, line)
//   pairs are part of the module's interface: docs/SCHEMA.md and
//   docs/METADATA.md tell hosts which outcome each one means, and hosts match
//   on them through GetReturnOrigin. A fixed number must therefore never
//   become __LINE__ (the code would move whenever the file is edited), two
//   outcomes must never share one, and code moved to another source keeps its
//   source name and numbers (the metadata document still reports as
//   "KelEdsMetadataDict").
//
// Both helpers are constant-initialised function pointers: they need no code
// at load. Internal to the module. Threading: as KelError::GetReturn (safe).
#pragma once

#include "KelError.h"

template <const char* Source>
struct KelEdsResultCodes {
  static long Failure(int line) { return KelError::GetReturn(0, nullptr, nullptr, Source, line); }
  static long Success(int line) { return KelError::GetReturn(1, nullptr, nullptr, Source, line); }
};
