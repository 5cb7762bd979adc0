// Helpers of the reliability tests: child processes measured from outside,
// allocation-failure sweeps, files and directories.
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "KelAllocator.h"
#include "KelEdsMetadataTool.h"
#include "jobs/JobTestSupport.h"

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

// What a child process did: how it ended and what it printed.
struct ChildRun {
  bool exited = false;
  int exitCode = -1;
  int signal = 0;
  std::string out;
  // The value printed after "<key>=" on the child's standard output, or "".
  std::string Value(const std::string& key) const {
    const std::size_t at = out.find(key + "=");
    if (at == std::string::npos) return "";
    const std::size_t start = at + key.size() + 1;
    return out.substr(start, out.find_first_of(" \n", start) - start);
  }
  // The result code the probe printed for `step`, or 0.
  long Code(const std::string& step) const {
    const std::string code = Value(step + " code");
    return code.empty() ? 0 : std::stol(code);
  }
};

// Runs `argv` in a new process, standard output captured, standard input
// closed. `asUser` (a uid) drops root's privileges first, so that file
// permissions apply.
inline ChildRun RunChild(const std::vector<std::string>& argv, std::optional<uid_t> asUser = std::nullopt) {
  ChildRun run;
  int pipeEnds[2];
  if (pipe(pipeEnds) != 0) return run;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeEnds[1], 1);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    const int nothing = open("/dev/null", O_RDONLY);
    if (nothing >= 0) dup2(nothing, 0);
    if (asUser && (setgroups(0, nullptr) != 0 || setgid(*asUser) != 0 || setuid(*asUser) != 0)) _exit(126);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  char chunk[4096];
  for (ssize_t n; (n = read(pipeEnds[0], chunk, sizeof chunk)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    run.out.append(chunk, static_cast<std::size_t>(n));
  }
  close(pipeEnds[0]);
  int status = 0;
  if (pid > 0 && waitpid(pid, &status, 0) == pid) {
    run.exited = WIFEXITED(status);
    run.exitCode = run.exited ? WEXITSTATUS(status) : -1;
    run.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  return run;
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
