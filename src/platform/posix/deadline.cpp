#include "platform/posix/deadline.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <ctime>

namespace plat::posix {

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

int Deadline::LeftMs() const {
  if (at_ < 0) return -1;
  const std::int64_t left = at_ - MonotonicNs();
  if (left <= 0) return 0;
  return int(std::min<std::int64_t>((left + 999'999) / 1'000'000, 1 << 30));
}

int PollUntil(pollfd* fds, nfds_t n, const Deadline& deadline) {
  for (;;) {
    // The time-out is rounded up: a 0 from poll() means the deadline has passed.
    const int r = poll(fds, n, deadline.LeftMs());
    if (r >= 0) return r;
    if (errno != EINTR) return -1;
  }
}

bool UnixAddress(const std::string& path, bool abstract, sockaddr_un& out, socklen_t& length) {
  out = {};
  out.sun_family = AF_UNIX;
  const size_t skip = abstract ? 1 : 0;  // the abstract namespace: a leading nul byte
  if (path.empty() || path.size() + skip >= sizeof out.sun_path) return false;
  std::memcpy(out.sun_path + skip, path.data(), path.size());
  length = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + skip);
  return true;
}

Connecting ConnectUnix(const sockaddr_un& address, socklen_t length) {
  Connecting c;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    c.error = errno;
    return c;
  }
  int r;
  while ((r = connect(fd, reinterpret_cast<const sockaddr*>(&address), length)) != 0 && errno == EINTR) {
  }
  if (r == 0) return {fd, ConnectState::kConnected, 0};
  c.error = errno;
  if (errno == EINPROGRESS) return {fd, ConnectState::kPending, 0};
  close(fd);
  c.state = errno == EAGAIN ? ConnectState::kBusy : ConnectState::kFailed;
  return c;
}

ConnectState ConnectFinished(int fd, int& error) {
  socklen_t len = sizeof error;
  error = 0;
  if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0) error = errno;
  if (error != 0) return ConnectState::kFailed;
  sockaddr_un peer{};
  len = sizeof peer;
  if (getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &len) == 0) return ConnectState::kConnected;
  error = errno == ENOTCONN ? ECONNREFUSED : errno;
  return ConnectState::kFailed;
}

}  // namespace plat::posix
