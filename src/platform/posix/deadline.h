// Time and waiting for the Linux backend: one monotonic clock, deadlines on it, a poll that
// waits until a deadline (however often a signal breaks it off), and a Unix-socket connect that
// never waits. The loop has one thread: every wait on these has one budget for all its steps,
// spent as time passes, never a fresh one per step.
#pragma once
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <cstdint>
#include <string>

namespace plat::posix {

// CLOCK_MONOTONIC: never set back, and unlike the wall clock not moved by a test's faked time.
std::int64_t MonotonicNs();
inline std::int64_t MonotonicMs() { return MonotonicNs() / 1'000'000; }

class Deadline {
 public:
  static Deadline In(std::int64_t ms) { return Deadline(MonotonicNs() + ms * 1'000'000); }
  static Deadline Never() { return Deadline(-1); }
  bool Passed() const { return at_ >= 0 && MonotonicNs() >= at_; }
  // Whole milliseconds left, rounded up (a poll() time-out); 0 once passed, -1 for never.
  int LeftMs() const;
  bool IsNever() const { return at_ < 0; }
  std::int64_t AtNs() const { return at_; }

 private:
  explicit Deadline(std::int64_t at) : at_(at) {}
  std::int64_t at_;
};

// poll() until something is ready or the deadline passes: > 0 ready, 0 passed, -1 failed.
// An interrupted poll goes on with the time that is left.
int PollUntil(pollfd* fds, nfds_t n, const Deadline& deadline);

// A non-blocking connect to a Unix socket (`address` a path, or @name for the abstract
// namespace, as a bus address has it). kBusy: the listener's backlog is full; Linux fails such a
// connect at once (EAGAIN) and gives nothing to wait on, so it is tried again later, never taken
// for connected. kPending: going on (other systems); ConnectFinished says how it ended.
enum class ConnectState { kConnected, kPending, kBusy, kFailed };
struct Connecting {
  int fd = -1;  // non-blocking, close-on-exec; -1 unless connected or pending
  ConnectState state = ConnectState::kFailed;
  int error = 0;  // errno of a failure
};
Connecting ConnectUnix(const sockaddr_un& address, socklen_t length);
bool UnixAddress(const std::string& path, bool abstract, sockaddr_un& out, socklen_t& length);
// After a pending connect's socket turned writable: connected, or failed (error set). A socket
// that is writable and hung up without a pending error is not connected: getpeername decides.
ConnectState ConnectFinished(int fd, int& error);

}  // namespace plat::posix
