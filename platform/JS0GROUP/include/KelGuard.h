// The error guard: the one way library code runs platform work that may
// raise a platform error.
//
//   long result = failure;
//   if (!KelGuard([&] { ...; result = ...; })) result = failure;
//
// KelGuard runs the body. A raised platform error (a KelError, raised as
// ThrowSmartPtr or as a pointer) is discarded with KelError::Flush and KelGuard
// returns false; it returns true when the body completes. A refused
// allocation is the platform's out-of-memory error whichever way it is
// raised: std::bad_alloc (from the standard library, or raised when not even
// the error object could be made) is taken like KelErrOutOfMemory. Anything
// else that is raised (not a kind of KelError) leaves KelGuard unchanged.
//
// KelCheckMemory(code) passes a result code on, raising the out-of-memory
// error when it is E_OUTOFMEMORY: for the callers whose rules skip an item
// that is not there, so that an item lost to a refused allocation fails the
// operation instead of being skipped.
#pragma once

#include <new>
#include <utility>

#include "KelError.h"
#include "KelResultCodes.h"

namespace kel_detail {
// Flushes a caught platform error; re-raises what is not a kind of KelError.
ExportedByJS0GROUP void GuardCaught(KelError* error);
}  // namespace kel_detail

template <class Body>
bool KelGuard(Body&& body) {
  try {
    std::forward<Body>(body)();
    return true;
  } catch (KelError::ThrowSmartPtr& raised) {
    kel_detail::GuardCaught(raised.Detach());
  } catch (KelError* raised) {
    kel_detail::GuardCaught(raised);
  } catch (const std::bad_alloc&) {
  }
  return false;
}

inline long KelCheckMemory(long code) {
  if (code == E_OUTOFMEMORY) KelError::ThrowErrorOutOfMemory();
  return code;
}
