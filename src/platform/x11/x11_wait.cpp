// Waitable timers on timerfd and the message-aware wait.
//
// Windows wakes a 1-ms waitable timer on its next clock interrupt, every 15.625 ms by default.
// We round every deadline up to that grid on the monotonic clock, so the clock loop wakes about
// 64 times a second here too, while input still wakes it at once.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <algorithm>
#include <map>
#include <vector>

#include "platform/wait.h"
#include "platform/x11/x11_internal.h"

namespace plat {
namespace {

constexpr std::int64_t kPeriodNs = 15'625'000;  // the Windows default timer interrupt period

struct KernelTimer {
  int fd;
  bool signalled;
};
std::map<Handle, KernelTimer> g_timers;
Handle g_nextHandle = 0x40;
// Closed timers' descriptors, kept for the next pause: the loop makes a timer 64
// times a second, and two system calls fewer each time is most of what a quiet pass costs.
std::vector<int> g_spareFds;

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

std::int64_t RoundUpToPeriod(std::int64_t ns) { return (ns + kPeriodNs - 1) / kPeriodNs * kPeriodNs; }

timespec ToTimespec(std::int64_t ns) {
  return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

// Reads an expired timerfd; a manual-reset timer then stays signalled until it is armed again.
void Collect(KernelTimer& t) {
  std::uint64_t expirations = 0;
  if (read(t.fd, &expirations, sizeof expirations) == sizeof expirations) t.signalled = true;
}

}  // namespace

Handle CreateWaitableTimerA(void*, bool, const char*) {
  // Linux timers have no names; the name only matters to other programs on Windows.
  int fd;
  if (!g_spareFds.empty()) {
    fd = g_spareFds.back();
    g_spareFds.pop_back();
  } else {
    fd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (fd < 0) return 0;
  }
  Handle h = ++g_nextHandle;
  g_timers[h] = {fd, false};
  return h;
}

bool SetWaitableTimer(Handle timer, std::uint32_t dueLow, std::int32_t dueHigh, long, void*, void*,
                      bool) {
  auto it = g_timers.find(timer);
  if (it == g_timers.end()) return false;
  std::int64_t due = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(dueHigh)) << 32) | dueLow);
  // Negative: 100-ns units from now. Positive (an absolute FILETIME) is not used by the program;
  // it counts from now as well rather than never firing.
  std::int64_t relNs = (due < 0 ? -due : due) * 100;
  const std::int64_t now = MonotonicNs();
  // Armed relative to now (the rounded deadline minus now) rather than absolute: tools that fake
  // the time for tests shift absolute timerfd deadlines, even on the monotonic clock.
  itimerspec expiry{};
  expiry.it_value = ToTimespec(std::max<std::int64_t>(1, RoundUpToPeriod(now + relNs) - now));
  it->second.signalled = false;
  return timerfd_settime(it->second.fd, 0, &expiry, nullptr) == 0;
}

bool CloseHandle(Handle handle) {
  auto it = g_timers.find(handle);
  if (it == g_timers.end()) return false;
  // No need to disarm: arming it again resets its count of expirations.
  if (g_spareFds.size() < 4)
    g_spareFds.push_back(it->second.fd);
  else
    close(it->second.fd);
  g_timers.erase(it);
  return true;
}

std::uint32_t MsgWaitForMultipleObjects(std::uint32_t count, const Handle* handles, bool,
                                        std::uint32_t timeoutMs, std::uint32_t) {
  if (count > 1) return kWaitFailed;
  KernelTimer* timer = nullptr;
  if (count == 1) {
    auto it = g_timers.find(handles[0]);
    if (it == g_timers.end()) return kWaitFailed;
    timer = &it->second;
  }
  Display* d = x11::X().dpy;
  const std::int64_t deadline =
      timeoutMs == kInfinite ? -1 : RoundUpToPeriod(MonotonicNs() + std::int64_t(timeoutMs) * 1'000'000);
  for (;;) {
    // Only poll() says when to read the timer: reading first would cost a failed read a pass.
    if (timer && timer->signalled) return kWaitObject0;
    // XPending flushes our requests, and events already read into Xlib's queue would not wake
    // poll(): look there first.
    if (XPending(d) > 0) return count;
    // A due interval timer is a message too: return so the caller's DoEvents runs it.
    const long timerMs = x11::MsUntilNextTimer();
    if (timerMs == 0) return count;
    pollfd fds[2] = {{ConnectionNumber(d), POLLIN, 0}, {timer ? timer->fd : -1, POLLIN, 0}};
    timespec left{};
    timespec* limit = nullptr;
    std::int64_t ns = -1;
    if (deadline >= 0) {
      ns = deadline - MonotonicNs();
      if (ns <= 0) return kWaitTimeout;
    }
    if (timerMs > 0 && (ns < 0 || timerMs * 1'000'000 < ns)) ns = timerMs * 1'000'000;
    if (ns >= 0) {
      left = ToTimespec(ns);
      limit = &left;
    }
    int r = ppoll(fds, timer ? 2 : 1, limit, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      return kWaitFailed;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      std::fprintf(stderr, "zorvane: lost the connection to the X server\n");
      _exit(1);
    }
    if (timer && (fds[1].revents & POLLIN)) {
      Collect(*timer);
      if (timer->signalled) return kWaitObject0;
    }
    if (fds[0].revents & POLLIN) return count;
    if (r == 0 && deadline >= 0 && MonotonicNs() >= deadline) return kWaitTimeout;
  }
}

void Sleep(std::uint32_t milliSeconds) {
  timespec until = ToTimespec(RoundUpToPeriod(MonotonicNs() + std::int64_t(milliSeconds) * 1'000'000));
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace plat
