#include "KelAllocator.h"

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<long> g_skip{0};
std::atomic<long> g_fail{0};  // < 0: fail every allocation once the skips are used
std::atomic<long> g_refused{0};
std::atomic<bool> g_armed{false};

bool ShouldFail() noexcept {
  if (!g_armed.load(std::memory_order_relaxed)) return false;
  if (g_skip.load() > 0) {
    g_skip.fetch_sub(1);
    return false;
  }
  long fail = g_fail.load();
  if (fail == 0) return false;
  if (fail > 0) g_fail.fetch_sub(1);
  g_refused.fetch_add(1);
  return true;
}
}  // namespace

void* KelAllocate(std::size_t size) noexcept {
  if (ShouldFail()) return nullptr;
  return std::malloc(size == 0 ? 1 : size);
}

void KelDeallocate(void* block) noexcept { std::free(block); }

void KelSetAllocationFailure(long skip, long count) noexcept {
  g_armed.store(false);
  g_skip.store(skip);
  g_fail.store(count);
  g_refused.store(0);
  g_armed.store(count != 0);
}

long KelAllocationFailures() noexcept { return g_refused.load(); }
