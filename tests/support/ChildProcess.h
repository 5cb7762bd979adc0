// A program run in a process of its own, as a user runs it (POSIX only: the
// suites that use it are not built for Windows).
#pragma once

#include <fcntl.h>
#include <grp.h>
#include <stdlib.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace testprocess {

struct Result {
  int status = -1;  // the exit status, 128 + the signal that ended it, 126 when it could not be set up
  std::string out;
  std::string err;
};

// Runs argv[0] with `argv`, `input` on its standard input, `path` (when
// given) as its PATH and `cwd` (when given) as its working directory.
// `asUser` (a uid) drops root's privileges first, so that file permissions
// apply; the standard streams are opened before.
inline Result Run(const std::vector<std::string>& argv, const std::string& input = "", const char* path = nullptr,
                  const std::string& cwd = "", std::optional<uid_t> asUser = std::nullopt) {
  const testfiles::Scratch streams;
  const std::string in = streams.File("stdin"), out = streams.File("stdout"), err = streams.File("stderr");
  testfiles::WriteFile(in, input);
  const pid_t child = fork();
  if (child == 0) {
    const int fds[] = {open(in.c_str(), O_RDONLY), open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600),
                       open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)};
    for (int i = 0; i < 3; ++i) dup2(fds[i], i);
    if (path != nullptr) setenv("PATH", path, 1);
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(126);
    if (asUser && (setgroups(0, nullptr) != 0 || setgid(*asUser) != 0 || setuid(*asUser) != 0)) _exit(126);
    std::vector<char*> args;
    for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  Result result;
  int status = 0;
  if (child > 0 && waitpid(child, &status, 0) == child) {
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  result.out = testfiles::ReadFile(out);
  result.err = testfiles::ReadFile(err);
  return result;
}

}  // namespace testprocess
