// The 1-ms pause: due-time words, the timer name, message handling during the wait and what
// happens when the timer or the wait fails.
#include <gtest/gtest.h>

#include "platform/null/null_backend.h"
#include "timing/cls_waitable_timer.h"
#include "timing/timing.h"

namespace {

using plat::null::World;

TEST(DueTime, SplitsTheNegativeCountIntoTwoWords) {
  struct Row {
    long ms;
    std::uint32_t low;
    std::uint32_t high;
  } rows[] = {
      {1, 0xFFFFD8F0u, 0xFFFFFFFFu},
      {600000, 0x9A5F4400u, 0xFFFFFFFEu},
      {0, 0, 0},
      // Either side of the point where the count no longer fits the low word alone.
      {429496, 0x00001C80u, 0xFFFFFFFFu},
      {429497, 0xFFFFF570u, 0xFFFFFFFEu},
  };
  for (const Row& r : rows) {
    DueTime d = DueTimeWords(r.ms);
    EXPECT_EQ(d.low, r.low) << r.ms;
    EXPECT_EQ(static_cast<std::uint32_t>(d.high), r.high) << r.ms;
    std::int64_t joined = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(d.high)) << 32) | d.low);
    EXPECT_EQ(joined, -static_cast<std::int64_t>(r.ms) * 10000);
  }
}

TEST(TimerName, ExecutableThenTimerThenMinutesAndSeconds) {
  EXPECT_EQ(TimerName("clock", {2008, 1, 1, 14, 5, 9}), "clockTimer0509");
  EXPECT_EQ(TimerName("zorvane", {2008, 1, 1, 9, 0, 7}), "zorvaneTimer0007");
  EXPECT_EQ(TimerName("zorvane", {2008, 1, 1, 23, 59, 59}), "zorvaneTimer5959");
}

TEST(Wait, NamesArmsAndClosesItsTimer) {
  World().now = {2008, 1, 1, 9, 0, 7};
  {
    clsWaitableTimer t;
    t.Wait(1);
    EXPECT_EQ(t.TimerHandle, 0u);
  }
  ASSERT_EQ(World().timerNames.size(), 1u);
  EXPECT_EQ(World().timerNames[0], "zorvaneTimer0007");
  ASSERT_EQ(World().dueTimes.size(), 1u);
  EXPECT_EQ(World().dueTimes[0].first, 0xFFFFD8F0u);
  EXPECT_EQ(World().timersOpen, 0);
}

TEST(Wait, InputDuringThePauseIsHandledAndThePauseGoesOn) {
  World().inputQueued = 3;
  WaitFor(1);
  EXPECT_EQ(World().timerWaits, 4);  // three wake-ups for input, then the timer
  EXPECT_EQ(World().doEvents, 4);    // messages pumped after every wake-up, the last one included
  EXPECT_EQ(World().timersOpen, 0);
}

// A failing timer or wait must neither spin (wait again and again at once) nor hang.
TEST(Wait, FailuresFallBackToOnePlainPause) {
  struct Row {
    const char* what;
    void (*inject)();
    int plainPauses, sleeps;
  } rows[] = {
      {"create fails", [] { World().failCreateTimer = true; }, 1, 0},
      {"arming fails", [] { World().failSetTimer = true; }, 1, 0},
      {"wait fails", [] { World().failWaits = true; }, 1, 0},
      {"even the plain pause fails",
       [] {
         World().failWaits = true;
         World().failPlainPause = true;
       },
       1, 1},
  };
  for (const Row& r : rows) {
    plat::null::Reset();
    r.inject();
    WaitFor(1);
    EXPECT_EQ(World().plainPauses, r.plainPauses) << r.what;
    EXPECT_EQ(World().sleeps, r.sleeps) << r.what;
    EXPECT_LE(World().waits, 2) << r.what;
    EXPECT_GE(World().doEvents, 1) << r.what;
    EXPECT_EQ(World().timersOpen, 0) << r.what;
  }
}

TEST(Wait, AnErrorWhileWaitingIsPrefixedAndTheHandleClosedOnRelease) {
  World().onDoEvents = [] { throw std::runtime_error("Handler failed"); };
  {
    clsWaitableTimer t;
    try {
      t.Wait(1);
      ADD_FAILURE() << "no error reached the caller";
    } catch (const RuntimeError& e) {
      EXPECT_EQ(std::string(e.what()), "[clsWaitableTimer.Wait]Handler failed");
    }
    EXPECT_NE(t.TimerHandle, 0u);  // left open on the error path...
    EXPECT_EQ(World().timersOpen, 1);
  }
  EXPECT_EQ(World().timersOpen, 0);  // ...and closed when the object goes
}

TEST(Wait, WaitForSwallowsErrors) {
  World().onDoEvents = [] { throw RuntimeError(5, "Main", "Invalid procedure call"); };
  EXPECT_NO_THROW(WaitFor(1));
  EXPECT_EQ(World().timersOpen, 0);
}

}  // namespace
