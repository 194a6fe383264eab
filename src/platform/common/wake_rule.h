// When a hinted pause ends: the rule the pause loop (pause_timers.h) follows at every round.
#pragma once
#include <cstdint>

namespace plat {

// What a pause knows at one moment. Spans are nanoseconds from now: 0 when already due, -1 for
// none.
struct WakeFacts {
  bool messagesQueued = false;        // window messages wait to be handled
  bool messagesHandled = false;       // the pause has returned for messages other than repaints
  std::int64_t intervalTimerNs = -1;  // until the next interval timer is due
  std::int64_t dueNs = -1;            // until the pause's own due time
  std::int64_t changeNs = -1;         // until the caller's face can change (the hint)
};

struct WakeStep {
  enum Kind { kMessages, kTimerFired, kSleep } kind;
  std::int64_t sleepNs = -1;  // kSleep: at most this long (-1: until woken)
};

// Messages (and due interval timers, which are messages) end the pause's sleep at once. A hint
// replaces the pause's own due time until the pause has handled messages other than repaints: a
// handler may have changed the face, so from then on the pause lasts only as long as it was
// asked to.
WakeStep NextWakeStep(const WakeFacts& facts);

}  // namespace plat
