// The platform's allocator: the memory of every KelBaseUnknown object and of
// byte sequences comes from here.
//
// KelAllocate returns null when memory cannot be had, never throws. For tests
// of out-of-memory paths, KelSetAllocationFailure makes chosen allocations
// fail: after `skip` more successful allocations, the next `count` fail
// (count < 0: all of them). KelSetAllocationFailure(0, 0) switches it off.
//
// Threading: the failure plan is process-wide (atomic counters); set it only
// from a test that owns the process.
#pragma once

#include <cstddef>

#include "ExportedByJS0GROUP.h"

ExportedByJS0GROUP void* KelAllocate(std::size_t size) noexcept;
ExportedByJS0GROUP void KelDeallocate(void* block) noexcept;

ExportedByJS0GROUP void KelSetAllocationFailure(long skip, long count) noexcept;
// Number of allocations refused since the failure plan was last set.
ExportedByJS0GROUP long KelAllocationFailures() noexcept;

// Scoped failure plan for tests: active for the lifetime of the object.
class KelAllocationFailureScope {
 public:
  KelAllocationFailureScope(long skip, long count) { KelSetAllocationFailure(skip, count); }
  ~KelAllocationFailureScope() { KelSetAllocationFailure(0, 0); }
  KelAllocationFailureScope(const KelAllocationFailureScope&) = delete;
  KelAllocationFailureScope& operator=(const KelAllocationFailureScope&) = delete;
};
