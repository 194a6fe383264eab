// Waitable timers and the message-aware wait.
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
#include <map>
#include <optional>

#include "platform/emulated/hive.h"
#include "platform/common/wake_rule.h"
#include "platform/wait.h"
#include "platform/x11/x11_dates.h"
#include "platform/x11/x11_internal.h"

namespace plat {
namespace {

constexpr std::int64_t kPeriodNs = 15'625'000;  // the Windows default timer interrupt period
constexpr std::int64_t kSecondNs = 1'000'000'000;

// One pause's timer. It needs no kernel object: its due time bounds the wait's ppoll().
struct PauseTimer {
  std::int64_t dueNs = -1;  // monotonic; -1 while not armed
  bool hinted = false;
  DateTime shown;           // the hint's reading
  bool messagesReported = false;  // other than repaints: a handler may have changed the face
  bool signalled = false;
};
std::map<Handle, PauseTimer> g_timers;
Handle g_nextHandle = 0x40;
std::optional<DateTime> g_hint;  // for the next pause that is armed

std::int64_t MonotonicNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return std::int64_t(ts.tv_sec) * kSecondNs + ts.tv_nsec;
}

std::int64_t RoundUpToPeriod(std::int64_t ns) { return (ns + kPeriodNs - 1) / kPeriodNs * kPeriodNs; }

timespec ToTimespec(std::int64_t ns) {
  return {static_cast<time_t>(ns / kSecondNs), static_cast<long>(ns % kSecondNs)};
}

// Until the local reading differs from `shown`: 0 when it already does, else the rest of the
// current wall-clock second (every zone's offset is whole seconds).
std::int64_t NsUntilReadingChanges(const DateTime& shown) {
  timespec at{};
  if (x11::LocalReading(at) != shown) return 0;
  return kSecondNs - at.tv_nsec;
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
bool OnlyRepaintsQueued(Display* d) {
  bool other = false;
  XEvent unused;
  XCheckIfEvent(d, &unused, FlagNonPaint, reinterpret_cast<XPointer>(&other));
  return !other;
}

}  // namespace

Handle CreateWaitableTimerA(void*, bool, const char*) {
  // Linux timers have no names; the name only matters to other programs on Windows.
  Handle h = ++g_nextHandle;
  g_timers[h] = {};
  return h;
}

void HintNextChange(const DateTime& shown) { g_hint = shown; }

bool SetWaitableTimer(Handle timer, std::uint32_t dueLow, std::int32_t dueHigh, long, void*, void*,
                      bool) {
  auto it = g_timers.find(timer);
  if (it == g_timers.end()) return false;
  std::int64_t due = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(dueHigh)) << 32) | dueLow);
  // Negative: 100-ns units from now. Positive (an absolute FILETIME) is not used by the program;
  // it counts from now as well rather than never firing.
  const std::int64_t relNs = (due < 0 ? -due : due) * 100;
  PauseTimer& t = it->second;
  t = {};
  t.dueNs = RoundUpToPeriod(MonotonicNs() + relNs);
  if (g_hint) {
    t.hinted = true;
    t.shown = *g_hint;
    g_hint.reset();
  }
  return true;
}

bool CloseHandle(Handle handle) {
  g_hint.reset();  // a hint belongs to one pause, armed or not
  return g_timers.erase(handle) == 1;
}

std::uint32_t MsgWaitForMultipleObjects(std::uint32_t count, const Handle* handles, bool,
                                        std::uint32_t timeoutMs, std::uint32_t) {
  if (count > 1) return kWaitFailed;
  PauseTimer plain;  // count 0: a pause of timeoutMs, never hinted
  PauseTimer* timer = &plain;
  if (count == 1) {
    auto it = g_timers.find(handles[0]);
    if (it == g_timers.end()) return kWaitFailed;
    timer = &it->second;
  } else if (timeoutMs != kInfinite) {
    plain.dueNs = RoundUpToPeriod(MonotonicNs() + std::int64_t(timeoutMs) * 1'000'000);
  }
  Display* d = x11::X().dpy;
  // A settings change kept in memory while another process held the settings lock is stored
  // here, on the clock's next pass, never by waiting for the lock.
  ActiveHiveStore().StorePending();
  for (;;) {
    if (timer->signalled) return kWaitObject0;
    WakeFacts facts;
    // XPending flushes our requests, and events already read into Xlib's queue would not wake
    // ppoll(): look there first.
    facts.messagesQueued = XPending(d) > 0;
    facts.messagesHandled = timer->messagesReported;
    const long timerMs = x11::MsUntilNextTimer();
    facts.intervalTimerNs = timerMs < 0 ? -1 : timerMs * 1'000'000;
    if (timer->dueNs >= 0) facts.dueNs = std::max<std::int64_t>(0, timer->dueNs - MonotonicNs());
    if (timer->hinted) facts.changeNs = NsUntilReadingChanges(timer->shown);
    const WakeStep step = NextWakeStep(facts);
    if (step.kind == WakeStep::kMessages) {
      if (facts.intervalTimerNs == 0 || !OnlyRepaintsQueued(d)) timer->messagesReported = true;
      return count;
    }
    if (step.kind == WakeStep::kTimerFired) {
      if (count == 0) return kWaitTimeout;
      timer->signalled = true;
      return kWaitObject0;
    }
    const bool wakeArmed = step.sleepNs >= 0 && ArmWake(step.sleepNs);
    pollfd fds[4] = {{ConnectionNumber(d), POLLIN, 0},
                     {timer->hinted ? ClockSetFd() : -1, POLLIN, 0},
                     {timer->hinted ? x11::ZoneWatchFd() : -1, POLLIN, 0},
                     {wakeArmed ? g_wakeFd : -1, POLLIN, 0}};
    timespec left{};
    if (step.sleepNs >= 0) left = ToTimespec(step.sleepNs);
    const int r = ppoll(fds, 4, step.sleepNs >= 0 && !wakeArmed ? &left : nullptr, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      return kWaitFailed;
    }
    if (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) {
      std::fprintf(stderr, "zorvane: lost the connection to the X server\n");
      _exit(1);
    }
    // The face follows the clock's reading: a stepped clock or a new zone changes it now.
    if ((fds[1].revents & POLLIN) && TakeClockSet()) timer->signalled = true;
    if ((fds[2].revents & POLLIN) && x11::TakeZoneChange()) timer->signalled = true;
    // X input is reported by XPending on the next round.
  }
}

void Sleep(std::uint32_t milliSeconds) {
  timespec until = ToTimespec(RoundUpToPeriod(MonotonicNs() + std::int64_t(milliSeconds) * 1'000'000));
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
  }
}

}  // namespace plat
