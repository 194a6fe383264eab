#include "platform/common/pause_timers.h"

#include <algorithm>

#include "platform/common/wake_rule.h"
#include "platform/wait.h"

namespace plat {

Handle PauseTimers::Create() {
  // No kernel object: the timer's due time bounds the wait's sleep. Names only matter to other
  // programs on Windows.
  const Handle h = ++lastHandle_;
  timers_[h] = {};
  return h;
}

// Rounded up to the timer period, as Windows wakes a waitable timer on its next clock interrupt.
std::int64_t PauseTimers::DueAfter(std::int64_t ns) const {
  return RoundUpToTimerPeriod(system_->MonotonicNs() + ns);
}

bool PauseTimers::Arm(Handle timer, std::uint32_t dueLow, std::int32_t dueHigh) {
  auto it = timers_.find(timer);
  if (it == timers_.end()) return false;
  const auto due = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(static_cast<std::uint32_t>(dueHigh)) << 32) | dueLow);
  // Negative: 100-ns units from now. Positive (an absolute FILETIME) is not used by the program;
  // it counts from now as well rather than never firing.
  Timer& t = it->second;
  t = {};
  t.dueNs = DueAfter((due < 0 ? -due : due) * 100);
  t.shown = hint_;
  hint_.reset();
  return true;
}

bool PauseTimers::Close(Handle timer) {
  hint_.reset();  // a hint belongs to one pause, armed or not
  return timers_.erase(timer) == 1;
}

std::uint32_t PauseTimers::Wait(std::uint32_t count, const Handle* handles,
                                std::uint32_t timeoutMs) {
  if (count > 1) return kWaitFailed;
  if (count == 1) {
    auto it = timers_.find(handles[0]);
    return it == timers_.end() ? kWaitFailed : WaitOn(it->second, 1);
  }
  Timer plain;
  if (timeoutMs != kInfinite) plain.dueNs = DueAfter(std::int64_t(timeoutMs) * 1'000'000);
  return WaitOn(plain, 0);
}

std::uint32_t PauseTimers::WaitOn(Timer& timer, std::uint32_t count) {
  PauseSystem& sys = *system_;
  for (;;) {
    if (timer.signalled) return kWaitObject0;
    WakeFacts facts;
    facts.messagesQueued = sys.MessagesQueued();
    facts.messagesHandled = timer.messagesReported;
    facts.intervalTimerNs = sys.NsUntilIntervalTimer();
    if (timer.dueNs >= 0) facts.dueNs = std::max<std::int64_t>(0, timer.dueNs - sys.MonotonicNs());
    if (timer.shown) facts.changeNs = sys.NsUntilReadingChanges(*timer.shown);
    const WakeStep step = NextWakeStep(facts);
    if (step.kind == WakeStep::kMessages) {
      if (facts.intervalTimerNs == 0 || !sys.OnlyRepaintsQueued()) timer.messagesReported = true;
      return count;
    }
    if (step.kind == WakeStep::kTimerFired) {
      if (count == 0) return kWaitTimeout;
      timer.signalled = true;  // a manual-reset timer stays signalled
      return kWaitObject0;
    }
    switch (sys.Sleep(step.sleepNs, timer.shown.has_value())) {
      case PauseSystem::Woke::kFailed:
        return kWaitFailed;
      case PauseSystem::Woke::kChanged:
        // The face follows the clock's reading: a stepped clock or a new zone changes it now.
        timer.signalled = true;
        break;
      case PauseSystem::Woke::kMaybe:
        break;
    }
  }
}

}  // namespace plat
