// How every interface method of the XML stand-in runs its body: a platform
// error raised inside is flushed and gives E_FAIL, a failed allocation of the
// standard library gives E_OUTOFMEMORY. Anything else raised (only a caller's
// own callback can) goes on to the caller, as the platform's error guard does.
#pragma once

#include <new>

#include "KelGuard.h"
#include "KelResultCodes.h"

namespace kelxml {

template <class Body>
long Call(Body&& body) {
  long result = E_FAIL;
  try {
    if (!KelGuard([&] { result = body(); })) result = E_FAIL;
  } catch (const std::bad_alloc&) {
    result = E_OUTOFMEMORY;
  }
  return result;
}

}  // namespace kelxml
