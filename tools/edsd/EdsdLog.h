// edsd's log: one line per event, "key=value" fields separated by blanks
// (values with blanks quoted), appended to a file or written to standard
// error. Reopen (on SIGHUP) lets logrotate move the file away.
//
// Threads: Write and Reopen may be called from any thread.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>

namespace edsd {

class Log {
 public:
  ~Log();
  bool Open(const std::string& path, std::string& error);  // empty path: standard error
  void Reopen();
  // `fields` is already "key=value ..."; the time comes first.
  void Write(const std::string& fields);

  // A field value, quoted with '"' and its '"' and '\' escaped when it holds
  // blanks, quotes or control characters (these become blanks).
  static std::string Value(const std::string& text);

 private:
  std::mutex mutex_;
  std::string path_;
  std::FILE* file_ = nullptr;
};

}  // namespace edsd
