// The request deadline: a connection must bring a whole request (headers and
// body) within `limit` of its opening or of its previous answer, else it is
// shut down and its worker goes back to the pool. The HTTP library's own
// timeouts count per read, so that a client sending a byte now and then
// (slow loris) or stopping halfway through a body would hold a worker
// forever.
//
// The library does not show its connections' sockets, so a watcher thread
// finds them itself: every quarter second it lists the process's sockets
// (/proc/self/fd) bound to the listening port and connected to a peer, and
// times each from when it first saw it. The request handler marks its peer
// busy while it works on a request (an answer may take long) and stamps it
// when done.
//
// Threads: Busy and Done are called from the workers; the watcher is a
// thread of its own, stopped by the destructor.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace edsd {

class Deadline {
 public:
  using Clock = std::chrono::steady_clock;
  // `expired` is called (from the watcher) with the peer of each connection shut down.
  Deadline(int port, Clock::duration limit, std::function<void(const std::string&)> expired);
  ~Deadline();
  Deadline(const Deadline&) = delete;
  Deadline& operator=(const Deadline&) = delete;

  void Busy(const std::string& peer);
  void Done(const std::string& peer);

  // "address:port" of a connected socket's peer, or empty.
  static std::string Peer(int fd);

 private:
  void Watch();
  void Scan();

  struct Activity {
    int busy = 0;
    Clock::time_point done;
  };
  struct Connection {
    int fd;
    std::string peer;
    Clock::time_point seen;
    bool shut = false;
  };

  const int port_;
  const Clock::duration limit_;
  std::function<void(const std::string&)> expired_;
  std::mutex mutex_;
  std::condition_variable stop_;
  bool stopping_ = false;
  std::map<std::string, Activity> activity_;       // by peer
  std::map<unsigned long, Connection> connections_;  // by socket inode
  std::thread watcher_;
};

}  // namespace edsd
