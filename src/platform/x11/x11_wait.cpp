// Waitable timers and the message-aware wait: the X11 parts of the pause loop in
// common/pause_timers.cpp.
//
// A pause without a hint keeps the Windows timing: Windows wakes a 1-ms waitable timer on its
// next clock interrupt, every 15.625 ms by default, so its deadline is rounded up to that grid on
// the monotonic clock. A pause given a hint (HintNextChange) sleeps until what the caller shows
// can change: the next whole second of the wall clock, a step of the wall clock (settime, an NTP
// step, resume from suspend), a new time zone, a due interval timer or any X event. In between
// the process sleeps in ppoll() and sends nothing to the X server.
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>

#include "platform/common/pause_timers.h"
#include "platform/emulated/hive.h"
#include "platform/posix/deadline.h"
#include "platform/posix/end_signals.h"
#include "platform/posix/local_clock.h"
#include "platform/wait.h"
#include "platform/x11/x11_atspi.h"
#include "platform/x11/x11_internal.h"

namespace plat {
namespace {

constexpr std::int64_t kSecondNs = 1'000'000'000;

timespec ToTimespec(std::int64_t ns) {
  return {static_cast<time_t>(ns / kSecondNs), static_cast<long>(ns % kSecondNs)};
}

// A wall-clock timer set far ahead, which the kernel cancels whenever the wall clock is set
// (settime, an NTP step, resume from suspend), so a step is seen at once. 2200 stays ahead even
// under a test's faked clock.
constexpr time_t kFarAhead = 7'258'118'400;
int g_clockSetFd = -2;  // -2: not made yet, -1: not available

bool ArmClockSet(int fd) {
  itimerspec far{};
  far.it_value.tv_sec = kFarAhead;
  return timerfd_settime(fd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &far, nullptr) == 0;
}

int ClockSetFd() {
  if (g_clockSetFd == -2) {
    g_clockSetFd = timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
    if (g_clockSetFd >= 0 && !ArmClockSet(g_clockSetFd)) {
      close(g_clockSetFd);
      g_clockSetFd = -1;
    }
  }
  return g_clockSetFd;
}

// True when the wall clock was set since the watch was armed; arms it again.
bool TakeClockSet() {
  std::uint64_t expirations = 0;
  const ssize_t n = read(g_clockSetFd, &expirations, sizeof expirations);
  if (n < 0 && errno == EAGAIN) return false;
  const bool set = n < 0 && errno == ECANCELED;
  if (set && ArmClockSet(g_clockSetFd)) return true;
  // It expired (a clock faked by a tool may map the deadline into the past) or cannot be armed
  // again: without it a step still shows at the next second.
  close(g_clockSetFd);
  g_clockSetFd = -1;
  return set;
}

// The timer that ends a sleep. ppoll()'s own time-out gets a slack of 0.1 % of its length (a
// millisecond on the way to the next second); a timerfd fires on time. It is armed again before
// every sleep, which also clears an expiry nobody read.
int g_wakeFd = -2;  // -2: not made yet, -1: not available (ppoll's time-out serves)

bool ArmWake(std::int64_t ns) {
  if (g_wakeFd == -2) g_wakeFd = timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
  if (g_wakeFd < 0) return false;
  // Relative: tools that fake the time for tests shift absolute deadlines, monotonic ones too.
  itimerspec in{};
  in.it_value = ToTimespec(std::max<std::int64_t>(1, ns));
  return timerfd_settime(g_wakeFd, 0, &in, nullptr) == 0;
}

// Looks at every queued event and takes none; flags any that is not a repaint.
Bool FlagNonPaint(Display*, XEvent* e, XPointer flag) {
  if (e->type != Expose && e->type != GraphicsExpose && e->type != NoExpose)
    *reinterpret_cast<bool*>(flag) = true;
  return False;
}

// Repaints follow every move of a cell; they cannot change what the caller shows.
bool OnlyRepaintsIn(Display* d) {
  bool other = false;
  XEvent unused;
  XCheckIfEvent(d, &unused, FlagNonPaint, reinterpret_cast<XPointer>(&other));
  return !other;
}

// The X connection, the monotonic and wall clocks and the watches above, as the pause loop asks
// for them.
class X11PauseSystem : public PauseSystem {
 public:
  std::int64_t MonotonicNs() override { return posix::MonotonicNs(); }
  // XPending also flushes our requests; events Xlib has already read would not wake ppoll().
  // Calls from a screen reader count as messages.
  bool MessagesQueued() override {
    x11::SwayTick();
    return XPending(x11::Server().dpy) > 0 || x11::atspi::HasWork();
  }
  bool OnlyRepaintsQueued() override { return OnlyRepaintsIn(x11::Server().dpy); }
  // Joining the accessibility bus and asking sway count as timers: their steps by the clock
  // come from the loop.
  std::int64_t NsUntilIntervalTimer() override {
    const long timer = x11::MsUntilNextTimer();
    std::int64_t ms = timer;
    for (const std::int64_t due : {x11::atspi::MsUntilDue(), x11::SwayMsUntilDue()})
      if (due >= 0 && (ms < 0 || due < ms)) ms = due;
    return ms < 0 ? -1 : ms * 1'000'000;
  }
  // The rest of the current wall-clock second: every zone's offset is whole seconds.
  std::int64_t NsUntilReadingChanges(const DateTime& shown) override {
    timespec at{};
    if (posix::LocalReading(at) != shown) return 0;
    return kSecondNs - at.tv_nsec;
  }
  // In ppoll() on the X connection, the wake timer, the accessibility bus (where there is one)
  // and, when watching, the clock and zone.
  Woke Sleep(std::int64_t ns, bool watchChanges) override {
    Display* d = x11::Server().dpy;
    const bool wakeArmed = ns >= 0 && ArmWake(ns);
    pollfd fds[7] = {{ConnectionNumber(d), POLLIN, 0},
                     {watchChanges ? ClockSetFd() : -1, POLLIN, 0},
                     {watchChanges ? posix::ZoneWatchFd() : -1, POLLIN, 0},
                     {wakeArmed ? g_wakeFd : -1, POLLIN, 0},
                     {x11::atspi::Fd(), x11::atspi::Events(), 0},
                     {posix::EndSignalFd(), POLLIN, 0},
                     {x11::SwayFd(), x11::SwayEvents(), 0}};
    timespec left{};
    if (ns >= 0) left = ToTimespec(ns);
    const int r = ppoll(fds, 7, ns >= 0 && !wakeArmed ? &left : nullptr, nullptr);
    if (r < 0) return errno == EINTR ? Woke::kMaybe : Woke::kFailed;
    // Asked to end (a logout, kill, Ctrl+C): as the close ends it.
    if (fds[5].revents & POLLIN) posix::EndBySignal([] { ActiveHiveStore().StoreBeforeExit(); });
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) x11::LostServer();
    if (fds[4].fd >= 0) x11::atspi::Ready(fds[4].revents);
    if (fds[6].fd >= 0) x11::SwayReady(fds[6].revents);
    // Both are read, so neither reports the same change twice.
    const bool clockSet = (fds[1].revents & POLLIN) && TakeClockSet();
    const bool zoneChanged = (fds[2].revents & POLLIN) && posix::TakeZoneChange();
    return clockSet || zoneChanged ? Woke::kChanged : Woke::kMaybe;
  }
};

PauseTimers& Pauses() {
  static X11PauseSystem system;
  static PauseTimers pauses(system);
  return pauses;
}

}  // namespace

Handle CreateWaitableTimerA(void*, bool, const char*) { return Pauses().Create(); }

void HintNextChange(const DateTime& shown) { Pauses().Hint(shown); }

bool SetWaitableTimer(Handle timer, std::uint32_t dueLow, std::int32_t dueHigh, long, void*, void*,
                      bool) {
  return Pauses().Arm(timer, dueLow, dueHigh);
}

bool CloseHandle(Handle handle) { return Pauses().Close(handle); }

std::uint32_t MsgWaitForMultipleObjects(std::uint32_t count, const Handle* handles, bool,
                                        std::uint32_t timeoutMs, std::uint32_t) {
  return Pauses().Wait(count, handles, timeoutMs);
}

void Sleep(std::uint32_t milliSeconds) {
  timespec until =
      ToTimespec(RoundUpToTimerPeriod(posix::MonotonicNs() + std::int64_t(milliSeconds) * 1'000'000));
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace plat
