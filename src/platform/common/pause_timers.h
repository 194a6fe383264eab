// The waitable timers and the message-aware wait of wait.h for the backends that have no kernel
// timer to hand them to. The loop that decides when a wait returns is here, once; a backend
// supplies what only it can: its clock, its message queue and a sleep that ends on messages.
#pragma once
#include <cstdint>
#include <map>
#include <optional>

#include "platform/dates.h"
#include "platform/handles.h"

namespace plat {

// What a pause asks of the system it runs on. Spans are nanoseconds.
class PauseSystem {
 public:
  virtual ~PauseSystem() = default;
  virtual std::int64_t MonotonicNs() = 0;
  // Messages wait to be handled. Asked before every sleep: messages the backend has already read
  // from its connection would not end one.
  virtual bool MessagesQueued() = 0;
  // The queued messages are all repaints, which cannot change what the caller shows.
  virtual bool OnlyRepaintsQueued() = 0;
  virtual std::int64_t NsUntilIntervalTimer() = 0;  // 0 when due, -1 when none runs
  // Until the local reading differs from `shown`: 0 when it already does.
  virtual std::int64_t NsUntilReadingChanges(const DateTime& shown) = 0;

  enum class Woke {
    kMaybe,    // something may have happened (a message, the time-out, a signal): look again
    kChanged,  // the wall clock was set or the time zone changed
    kFailed,   // cannot sleep
  };
  // Sleeps for at most `ns` (-1: until woken) or until a message arrives; with watchChanges,
  // also until the wall clock is set or the time zone changes.
  virtual Woke Sleep(std::int64_t ns, bool watchChanges) = 0;
};

// The Windows default timer interrupt period: an unhinted pause wakes on this grid of the
// monotonic clock, as a 1-ms waitable timer does on Windows.
inline constexpr std::int64_t kTimerPeriodNs = 15'625'000;
inline std::int64_t RoundUpToTimerPeriod(std::int64_t ns) {
  return (ns + kTimerPeriodNs - 1) / kTimerPeriodNs * kTimerPeriodNs;
}

class PauseTimers {
 public:
  explicit PauseTimers(PauseSystem& system) : system_(&system) {}

  Handle Create();
  // The hint for the next timer armed (wait.h); one pause's, dropped when any timer closes.
  void Hint(const DateTime& shown) { hint_ = shown; }
  // Due words as SetWaitableTimer takes them. False for an unknown timer.
  bool Arm(Handle timer, std::uint32_t dueLow, std::int32_t dueHigh);
  bool Close(Handle timer);
  // MsgWaitForMultipleObjects on at most one of these timers (count 0: a plain pause of
  // timeoutMs, never hinted).
  std::uint32_t Wait(std::uint32_t count, const Handle* handles, std::uint32_t timeoutMs);

 private:
  struct Timer {
    std::int64_t dueNs = -1;  // monotonic; -1 while not armed
    std::optional<DateTime> shown;  // the hint's reading
    bool messagesReported = false;  // other than repaints: a handler may have changed the face
    bool signalled = false;
  };
  std::uint32_t WaitOn(Timer& timer, std::uint32_t count);
  std::int64_t DueAfter(std::int64_t ns) const;

  PauseSystem* system_;
  std::map<Handle, Timer> timers_;
  Handle lastHandle_ = 0x40;
  std::optional<DateTime> hint_;
};

}  // namespace plat
