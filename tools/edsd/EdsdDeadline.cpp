#include "EdsdDeadline.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <vector>

namespace edsd {

namespace {

// The local port of an internet socket, or -1.
int LocalPort(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return -1;
  if (address.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
  if (address.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
  return -1;
}

unsigned long Inode(int fd) {
  struct stat status {};
  if (fstat(fd, &status) != 0 || !S_ISSOCK(status.st_mode)) return 0;
  return static_cast<unsigned long>(status.st_ino);
}

}  // namespace

std::string Deadline::Peer(int fd) {
  sockaddr_storage address{};
  socklen_t length = sizeof address;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) return std::string();
  char text[INET6_ADDRSTRLEN] = "";
  int port = 0;
  if (address.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<sockaddr_in*>(&address);
    inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
    port = ntohs(in->sin_port);
  } else if (address.ss_family == AF_INET6) {
    const auto* in = reinterpret_cast<sockaddr_in6*>(&address);
    inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
    port = ntohs(in->sin6_port);
  } else {
    return std::string();
  }
  return std::string(text) + ":" + std::to_string(port);
}

Deadline::Deadline(int port, Clock::duration limit, std::function<void(const std::string&)> expired)
    : port_(port), limit_(limit), expired_(std::move(expired)), watcher_([this] { Watch(); }) {}

Deadline::~Deadline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  stop_.notify_all();
  watcher_.join();
}

void Deadline::Busy(const std::string& peer) {
  std::lock_guard<std::mutex> lock(mutex_);
  ++activity_[peer].busy;
}

void Deadline::Done(const std::string& peer) {
  std::lock_guard<std::mutex> lock(mutex_);
  Activity& activity = activity_[peer];
  if (activity.busy > 0) --activity.busy;
  activity.done = Clock::now();
}

void Deadline::Watch() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (!stop_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stopping_; })) {
    lock.unlock();
    Scan();
    lock.lock();
  }
}

void Deadline::Scan() {
  // The sockets of the listening port that have a peer, by inode (a
  // descriptor number is reused as soon as it is closed; an inode is not).
  std::map<unsigned long, std::pair<int, std::string>> found;
  if (DIR* fds = opendir("/proc/self/fd")) {
    while (dirent* entry = readdir(fds)) {
      char* end = nullptr;
      const long fd = std::strtol(entry->d_name, &end, 10);
      if (end == entry->d_name || *end != '\0' || fd == dirfd(fds)) continue;
      const unsigned long inode = Inode(static_cast<int>(fd));
      if (inode == 0 || LocalPort(static_cast<int>(fd)) != port_) continue;
      std::string peer = Peer(static_cast<int>(fd));
      if (!peer.empty()) found.emplace(inode, std::make_pair(static_cast<int>(fd), std::move(peer)));
    }
    closedir(fds);
  }
  const Clock::time_point now = Clock::now();
  std::vector<std::string> shut;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      it = found.count(it->first) != 0 ? std::next(it) : connections_.erase(it);
    }
    std::set<std::string> peers;
    for (const auto& [inode, socket] : found) {
      peers.insert(socket.second);
      Connection& connection = connections_.emplace(inode, Connection{socket.first, socket.second, now}).first->second;
      if (connection.shut) continue;
      const auto activity = activity_.find(connection.peer);
      Clock::time_point since = connection.seen;
      if (activity != activity_.end()) {
        if (activity->second.busy > 0) continue;
        if (activity->second.done > since) since = activity->second.done;
      }
      if (now - since < limit_) continue;
      // Still the same socket (not closed and reused since the listing):
      // shutting it down makes the worker's read return.
      if (Inode(connection.fd) != inode) continue;
      shutdown(connection.fd, SHUT_RDWR);
      connection.shut = true;
      shut.push_back(connection.peer);
    }
    for (auto it = activity_.begin(); it != activity_.end();) {
      it = peers.count(it->first) != 0 || it->second.busy > 0 ? std::next(it) : activity_.erase(it);
    }
  }
  for (const std::string& peer : shut) expired_(peer);
}

}  // namespace edsd
