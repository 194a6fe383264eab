#include "platform/common/wake_rule.h"

namespace plat {

WakeStep NextWakeStep(const WakeFacts& f) {
  if (f.messagesQueued || f.intervalTimerNs == 0) return {WakeStep::kMessages};
  const std::int64_t end = f.changeNs >= 0 && !f.messagesHandled ? f.changeNs : f.dueNs;
  if (end == 0) return {WakeStep::kTimerFired};
  std::int64_t sleep = end < 0 ? -1 : end;
  if (f.intervalTimerNs > 0 && (sleep < 0 || f.intervalTimerNs < sleep)) sleep = f.intervalTimerNs;
  return {WakeStep::kSleep, sleep};
}

}  // namespace plat
