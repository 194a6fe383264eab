// The clock's pause when the loop says when its face next changes: how long it sleeps and what
// wakes it, that the calls Windows sees stay those of the plain 1-ms pause, and when the loop
// gives the hint.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <utility>
#include <vector>

#include "clock/main_form.h"
#include "platform/null/null_backend.h"
#include "platform/registry.h"
#include "platform/wait.h"
#include "shared/main_mod.h"
#include "timing/timing.h"

namespace {

using plat::null::World;
using namespace std::chrono_literals;
using Wakes = std::vector<std::pair<double, std::uint32_t>>;  // {ms slept, result}
constexpr std::uint32_t kTimer = plat::kWaitObject0, kMessages = 1;
const plat::DateTime kNow{2010, 6, 15, 10, 20, 30};

// The loop below is the X11 program's own (common/pause_timers.cpp); the null backend only
// feeds it a clock that moves while it sleeps.
TEST(HintedPause, WakesWhenTheFaceCanChangeOrAMessageComes) {
  struct Row {
    const char* what;
    std::function<void()> arrange;
    bool hint;
    Wakes wakes;
  } rows[] = {
      {"no hint: its own 1 ms, to the next step of the 15.625-ms grid", [] {}, false,
       {{5.625, kTimer}}},
      {"the next whole second", [] {}, true, {{700, kTimer}}},
      {"an interval timer due first, then the pause's own due time (already past)",
       [] { World().intervalTimer = 200ms; }, true, {{200, kMessages}, {0, kTimer}}},
      {"an interval timer due after the second", [] { World().intervalTimer = 900ms; }, true,
       {{700, kTimer}}},
      {"input at once, then the pause's own 1 ms", [] { World().inputQueued = 1; }, true,
       {{0, kMessages}, {5.625, kTimer}}},
      {"repaints leave the hint standing", [] { World().repaintsQueued = 2; }, true,
       {{0, kMessages}, {0, kMessages}, {700, kTimer}}},
      {"the second turned before the pause", [] { World().now.second = 31; }, true, {{0, kTimer}}},
      {"the wall clock set while it sleeps", [] { World().wallClockSet = true; }, true,
       {{0, kTimer}}},
      {"no hint: a set wall clock is not watched", [] { World().wallClockSet = true; }, false,
       {{5.625, kTimer}}},
  };
  for (const Row& r : rows) {
    plat::null::Reset();
    World().now = kNow;
    World().monotonic = 5010ms;
    World().intoSecond = 300ms;
    if (r.hint) plat::HintNextChange(kNow);
    r.arrange();
    WaitFor(1);
    EXPECT_EQ(World().wakes, r.wakes) << r.what;
    EXPECT_EQ(World().timersOpen, 0) << r.what;
  }
}

// The second turns at the end of the first pause; the next pause is a plain one again.
TEST(HintedPause, AHintServesOnePause) {
  World().now = kNow;
  plat::HintNextChange(kNow);
  WaitFor(1);
  EXPECT_EQ(World().now, (plat::DateTime{2010, 6, 15, 10, 20, 31}));
  WaitFor(1);
  EXPECT_EQ(World().wakes, (Wakes{{1000, kTimer}, {15.625, kTimer}}));
}

// What Windows is asked for must not depend on the hint: name, due time, wait arguments, pumping.
TEST(HintedPause, MakesTheSameTimerCallsAsThePlainPause) {
  auto calls = [](bool hint) {
    plat::null::Reset();
    World().now = kNow;
    World().inputQueued = 1;
    if (hint) plat::HintNextChange(kNow);
    WaitFor(1);
    return std::make_tuple(World().timerNames, World().dueTimes, World().waitCalls, World().doEvents, World().timersOpen);
  };
  const auto hinted = calls(true);
  EXPECT_EQ(hinted, calls(false));
  ASSERT_EQ(std::get<2>(hinted).size(), 2u);
  for (const auto& call : std::get<2>(hinted))
    EXPECT_EQ(call, (std::array<std::uint32_t, 3>{1, plat::kInfinite, plat::kQsAllInput}));
}

void LoadStopped(Main& m) {
  World().hive.hive.Set(World().hive.hive.Create("HKEY_CURRENT_USER\\Software\\Zorvane"), "Format",
                    {plat::kRegDword, {1, 0, 0, 0}});
  World().endAfterWaits = 0;
  EXPECT_THROW(m.Load(), plat::null::ProgramEnded);
  World().endAfterWaits = -1;
}

TEST(LoopHint, GivenWithThePassReadingOnceTheTiersShowIt) {
  Main m;
  LoadStopped(m);
  World().now = kNow;
  World().hints.clear();
  m.TimeItPass();
  m.TimeItPass();  // the first one's pause ended as the second turned
  const plat::DateTime next{2010, 6, 15, 10, 20, 31};
  EXPECT_EQ(World().hints, (std::vector<plat::DateTime>{kNow, next}));
  EXPECT_EQ(m.Sec(1).Caption(), "31");
}

// A double-click on the mode label handled in the pass's own message step changes the hours:
// the pause that follows must not sleep out the second.
TEST(LoopHint, WithheldWhenAHandlerChangedTheModeMeanwhile) {
  Main m;
  LoadStopped(m);
  World().now = {2010, 6, 15, 15, 20, 30};
  World().hints.clear();
  World().onDoEvents = [] {
    FormatSetting = 0;
    World().onDoEvents = nullptr;
  };
  m.TimeItPass();
  EXPECT_TRUE(World().hints.empty());
  EXPECT_EQ(m.Hours(2).Caption(), "15");
  m.TimeItPass();
  EXPECT_EQ(m.Hours(2).Caption(), "3");
  EXPECT_EQ(World().hints.size(), 1u);
  FormatSetting = 1;
}

}  // namespace
