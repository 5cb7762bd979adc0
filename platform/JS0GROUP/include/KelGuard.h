// The error guard: the one way library code runs platform work that may
// raise a platform error.
//
//   long result = failure;
//   if (!KelGuard([&] { ...; result = ...; })) result = failure;
//
// KelGuard runs the body. A raised platform error (a KelError, raised as
// ThrowSmartPtr or as a pointer) is discarded with KelError::Flush and KelGuard
// returns false; it returns true when the body completes. Anything else that
// is raised (not a kind of KelError) leaves KelGuard unchanged.
#pragma once

#include <utility>

#include "KelError.h"

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
  }
  return false;
}
