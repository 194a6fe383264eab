#include "timing/timing.h"

#include "timing/cls_waitable_timer.h"

void WaitFor(long MilliSeconds) {
  clsWaitableTimer timer;
  try {
    timer.Wait(MilliSeconds);
  } catch (const RuntimeError&) {
    // The loop never sees a failed pause; the next pass simply pauses again.
  }
}
