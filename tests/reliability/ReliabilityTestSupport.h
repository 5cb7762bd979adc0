// Helpers of the reliability tests: what probes print,
// allocation-failure sweeps, files and directories.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "KelAllocator.h"
#include "KelEdsMetadataTool.h"
#include "jobs/JobTestSupport.h"
#include "support/ChildProcess.h"

namespace reltest {

using jobtest::Strings;
// The suite's files helpers, by name.
using testfiles::Entries;
using testfiles::ReadFile;
using testfiles::Scratch;
using testfiles::WriteFile;
using testfiles::WriteUuidFile;

// Built with the sanitizers: their runtime and quarantine add to a process's
// memory, so bounds meant for the plain build do not apply.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif
#else
inline constexpr bool kSanitized = false;
#endif

// The value a probe printed after "<key>=" on its standard output, or "".
inline std::string Printed(const testprocess::Result& run, const std::string& key) {
  const std::size_t at = run.out.find(key + "=");
  if (at == std::string::npos) return "";
  const std::size_t start = at + key.size() + 1;
  return run.out.substr(start, run.out.find_first_of(" \n", start) - start);
}
// The result code the probe printed for `step`, or 0.
inline long PrintedCode(const testprocess::Result& run, const std::string& step) {
  const std::string code = Printed(run, step + " code");
  return code.empty() ? 0 : std::stol(code);
}

inline const std::string kProbe = KEL_PROBE_PATH;

// The metadata dictionary document from `uuids` into `output`, the
// generator's summary on standard output swallowed.
inline long GenerateMetadata(KelEdsMetadataTool& tool, const std::string& uuids, const std::string& output) {
  testing::internal::CaptureStdout();
  const long code = tool.GenerateNorvaleMetaData(uuids.c_str(), {}, {}, output.c_str());
  testing::internal::GetCapturedStdout();
  return code;
}
inline long GenerateMetadata(const std::string& uuids, const std::string& output) {
  KelEdsMetadataTool tool;
  return GenerateMetadata(tool, uuids, output);
}

// Fails the k-th platform allocation (k = 0, 1, 2, ...) of `operation` until
// a run refuses none, and calls `operation(k, refused)` for each; returns the
// number of allocations the operation makes. `operation` sets the failure
// plan through the scope it is handed and judges its own outcome.
inline long SweepAllocationFailures(const std::function<void(long k, bool& refused)>& operation, long limit = 100000) {
  for (long k = 0; k < limit; ++k) {
    SCOPED_TRACE("allocation " + std::to_string(k) + " refused");
    bool refused = false;
    operation(k, refused);
    if (::testing::Test::HasFatalFailure() || !refused) return k;
  }
  ADD_FAILURE() << "the operation never ran without a refused allocation";
  return limit;
}

// Runs `body` while the k-th platform allocation from now fails; tells in
// `refused` whether one was.
template <class Body>
decltype(auto) FailingAllocation(long k, bool& refused, Body&& body) {
  struct Plan {
    explicit Plan(long k, bool& refused) : refused(refused) { KelSetAllocationFailure(k, 1); }
    ~Plan() {
      refused = KelAllocationFailures() > 0;
      KelSetAllocationFailure(0, 0);
    }
    bool& refused;
  } plan(k, refused);
  return body();
}

}  // namespace reltest
