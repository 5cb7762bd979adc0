#include "EdsdLog.h"

#include <sys/time.h>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace edsd {

Log::~Log() {
  if (file_ != nullptr && file_ != stderr) std::fclose(file_);
}

bool Log::Open(const std::string& path, std::string& error) {
  path_ = path;
  if (path.empty()) {
    file_ = stderr;
    return true;
  }
  file_ = std::fopen(path.c_str(), "a");
  if (file_ == nullptr) error = path + ": " + std::strerror(errno);
  return file_ != nullptr;
}

void Log::Reopen() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (path_.empty()) return;
  std::FILE* fresh = std::fopen(path_.c_str(), "a");
  if (fresh == nullptr) return;  // keep writing where we were rather than lose lines
  std::fclose(file_);
  file_ = fresh;
}

void Log::Write(const std::string& fields) {
  timeval now{};
  gettimeofday(&now, nullptr);
  tm utc{};
  gmtime_r(&now.tv_sec, &utc);
  char stamp[40];
  const size_t length = std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &utc);
  std::snprintf(stamp + length, sizeof stamp - length, ".%03ldZ", static_cast<long>(now.tv_usec / 1000));
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(file_, "time=%s %s\n", stamp, fields.c_str());
  std::fflush(file_);
}

std::string Log::Value(const std::string& text) {
  bool plain = !text.empty();
  for (char c : text) plain = plain && c > ' ' && c != '"' && c != '\\' && c != 127;
  if (plain) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += (static_cast<unsigned char>(c) < ' ' || c == 127) ? ' ' : c;
  }
  return quoted + "\"";
}

}  // namespace edsd
