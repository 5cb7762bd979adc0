#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <uuid/uuid.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "EdsutilSystem.h"

extern char** environ;

namespace edsutil {

void PrepareStandardStreams() {}

std::string SystemUuid() {
  uuid_t value;
  uuid_generate_random(value);
  char text[37];
  uuid_unparse_upper(value, text);
  return text;
}

std::string ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : self.parent_path().string();
}

void SetProcessVariable(const char* name, const std::string* value) {
  value != nullptr ? setenv(name, value->c_str(), 1) : unsetenv(name);
}

std::string MakeScratchDirectory() {
  std::error_code error;
  std::string pattern = (std::filesystem::temp_directory_path(error) / "edsutil.XXXXXX").string();
  if (error || mkdtemp(pattern.data()) == nullptr) return std::string();
  return pattern;
}

int RunFilter(const std::string& program, const std::vector<std::string>& arguments, const std::string& input,
              std::string* output) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return -2;
  if (pipe2(out, O_CLOEXEC) != 0) {
    const int saved = errno;
    close(in[0]), close(in[1]);
    errno = saved;
    return -2;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = 0;
  const int spawned = posix_spawnp(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]), close(out[1]);
  if (spawned != 0) {
    close(in[1]), close(out[0]);
    errno = spawned;
    return spawned == ENOENT ? -1 : -2;
  }
  // A program that dies early must not kill us through SIGPIPE.
  struct sigaction ignore {
  }, previous{};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  // Feeds the input and drains the output together, so that neither pipe
  // fills while the other waits.
  std::size_t sent = 0;
  if (input.empty()) close(in[1]), in[1] = -1;
  char buffer[65536];
  while (out[0] >= 0) {
    pollfd fds[2] = {{out[0], POLLIN, 0}, {in[1], POLLOUT, 0}};
    if (poll(fds, in[1] >= 0 ? 2 : 1, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (in[1] >= 0 && (fds[1].revents & (POLLOUT | POLLERR | POLLHUP)) != 0) {
      const ssize_t n = write(in[1], input.data() + sent, input.size() - sent);
      if (n > 0) sent += static_cast<std::size_t>(n);
      if ((n < 0 && errno != EINTR && errno != EAGAIN) || sent == input.size()) close(in[1]), in[1] = -1;
    }
    if ((fds[0].revents & (POLLIN | POLLERR | POLLHUP)) != 0) {
      const ssize_t n = read(out[0], buffer, sizeof buffer);
      if (n > 0) {
        output->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(out[0]), out[0] = -1;
      }
    }
  }
  if (in[1] >= 0) close(in[1]);
  sigaction(SIGPIPE, &previous, nullptr);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (sent < input.size()) return status == 0 ? 1 : (WIFEXITED(status) ? WEXITSTATUS(status) : 1);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

int RedirectStandardOutput(std::FILE* file) {
  const int saved = dup(STDOUT_FILENO);
  if (saved < 0) return -1;
  if (dup2(fileno(file), STDOUT_FILENO) < 0) {
    const int error = errno;
    close(saved);
    errno = error;
    return -1;
  }
  return saved;
}

void RestoreStandardOutput(int saved) {
  dup2(saved, STDOUT_FILENO);
  close(saved);
}

std::string DirectoryWriteProblem(const std::string& directory) {
  return access(directory.c_str(), W_OK) != 0 ? std::strerror(errno) : std::string();
}

}  // namespace edsutil
