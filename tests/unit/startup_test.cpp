// The clock window's start-up on the in-memory platform: greeting, first-start writes, mark,
// mode label, size, region, placement and the refusal of a second copy.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "clock/main_form.h"
#include "platform/app.h"
#include "platform/common/polygon_rows.h"
#include "platform/null/null_backend.h"
#include "settings/mdl_registry.h"
#include "shared/main_mod.h"

namespace {

using plat::null::World;

constexpr const char* kGreeting =
    "Welcome to Zorvane. To change to Standard from Military, Dbl Click on the MIL. To add an "
    "Alignment Mark Dbl Click on the Dark Brown Line above the MIL. You can also Right Click on "
    "the clock for a setup. Dbl Click on the clock to close. Use the Blue Point on top or the "
    "Setup to move clock.";

void StoreDword(const char* name, std::int32_t v) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  WriteSetting(name, SettingValue(v));
}

// Runs the load step through the first pass of the loop, which it never leaves by itself.
int LoadAndRunOnePass(Main& m) {
  World().endAfterWaits = 1;
  plat::SetAppTitle(kProductName);
  try {
    m.Load();
  } catch (const plat::null::ProgramEnded& e) {
    return e.status;
  }
  ADD_FAILURE() << "the load step returned";
  return -1;
}

TEST(Startup, FirstStartGreetsBeforeShowingAndWritesOnlyFormat) {
  Main m;
  bool shownDuringGreeting = true;
  World().onMsgBox = [&](const std::string&) {
    shownDuringGreeting = plat::null::ViewOf(m)->shown;
  };
  LoadAndRunOnePass(m);
  ASSERT_EQ(World().messages.size(), 1u);
  EXPECT_EQ(World().messages[0], kGreeting);
  EXPECT_EQ(World().messageTitles[0], "Zorvane");
  EXPECT_FALSE(shownDuringGreeting);
  EXPECT_TRUE(plat::null::ViewOf(m)->shown);

  const plat::HiveKey* key = World().hive.hive.Find("HKEY_CURRENT_USER\\Software\\Zorvane");
  ASSERT_NE(key, nullptr);
  ASSERT_EQ(key->values.size(), 1u);
  EXPECT_EQ(key->values.at("Format"), (plat::RegValue{plat::kRegDword, {1, 0, 0, 0}}));
  EXPECT_EQ(m.Label1.Caption(), "MIL");
  EXPECT_FALSE(m.Line1.Visible());
  EXPECT_EQ(m.Caption(), "Zorvane");
}

TEST(Startup, StoredTwelveHourFormatSkipsTheGreeting) {
  StoreDword("Format", 0);
  Main m;
  World().now = {2010, 6, 15, 15, 0, 0};
  LoadAndRunOnePass(m);
  EXPECT_TRUE(World().messages.empty());
  EXPECT_EQ(m.Label1.Caption(), "PM");  // empty after load, then the loop's first pass
  EXPECT_EQ(m.Hours(2).Caption(), "3");
}

TEST(Startup, EmptyTextFormatCountsAsFirstStart) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  WriteSetting(SettingsRoot, SettingsKey, "Format", SettingValue(std::string()), plat::kRegSz);
  Main m;
  LoadAndRunOnePass(m);
  EXPECT_EQ(World().messages.size(), 1u);
  EXPECT_EQ(ReadSetting("Format"), 1);
}

TEST(Startup, MarkShowsOnlyForOne) {
  struct Row {
    const char* what;
    std::function<void()> store;
    bool visible;
  } rows[] = {
      {"1", [] { StoreDword("Mark", 1); }, true},
      {"0", [] { StoreDword("Mark", 0); }, false},
      {"2", [] { StoreDword("Mark", 2); }, false},
      {"missing", [] {}, false},
      {"text 1",
       [] {
         WriteSetting(SettingsRoot, SettingsKey, "Mark", SettingValue(std::string("1")),
                      plat::kRegSz);
       },
       true},
  };
  for (auto& r : rows) {
    plat::null::Reset();
    StoreDword("Format", 1);
    r.store();
    Main m;
    LoadAndRunOnePass(m);
    EXPECT_EQ(m.Line1.Visible(), r.visible) << "Mark " << r.what;
  }
}

TEST(Startup, WindowIs800PixelsSquareAndCutToTheTriangle) {
  StoreDword("Format", 1);
  Main m;
  LoadAndRunOnePass(m);
  EXPECT_EQ(plat::null::ViewOf(m)->bounds.w, 800);
  EXPECT_EQ(plat::null::ViewOf(m)->bounds.h, 800);
  EXPECT_EQ(World().regionWindow, m.hWnd());
  // Cut to the triangle the rescue and the fit to a monitor count with, standing on its base:
  // its top row is a point at the centre of its box, its bottom row the box's whole width.
  const std::vector<plat::Point>& cut = World().windowRegion;
  EXPECT_TRUE(std::equal(cut.begin(), cut.end(), ClockTriangle().begin(), ClockTriangle().end(),
                         [](plat::Point a, plat::Point b) { return a.x == b.x && a.y == b.y; }));
  const std::vector<plat::PixelSpan> rows = plat::PolygonSpans(World().windowRegion);
  ASSERT_FALSE(rows.empty());
  EXPECT_LE(rows.front().width, 2);
  EXPECT_NEAR(rows.front().x + rows.front().width / 2.0, ClockTriangleWidth() / 2.0, 1.0);
  EXPECT_EQ(rows.back(), (plat::PixelSpan{ClockTriangleHeight() - 1, 0, ClockTriangleWidth()}));
}

TEST(Startup, SecondCopyIsRefusedBeforeAnythingElse) {
  for (bool byWindow : {true, false}) {
    plat::null::Reset();
    if (byWindow) World().foreignWindows = {"Zorvane"};
    else World().lockHeldElsewhere = true;
    Main m;
    EXPECT_EQ(LoadAndRunOnePass(m), 0);
    ASSERT_EQ(World().messages.size(), 1u);
    EXPECT_EQ(World().messages[0], "Zorvane is already Running");
    EXPECT_EQ(World().messageTitles[0], "Zorvane");
    EXPECT_FALSE(plat::null::ViewOf(m)->shown);
    EXPECT_EQ(World().hive.hive.Find("HKEY_CURRENT_USER\\Software\\Zorvane"), nullptr);
    EXPECT_EQ(World().waits, 0);
  }
}

TEST(Startup, OwnWindowDoesNotCountAsAnotherCopy) {
  StoreDword("Format", 1);
  Main m;
  LoadAndRunOnePass(m);
  EXPECT_TRUE(World().messages.empty());
  EXPECT_EQ(World().lockClaims, 1);
}

struct Spot {
  SettingValue position;
  bool moves;
  double left, top;
};

class PlaceClock : public ::testing::TestWithParam<Spot> {};

TEST_P(PlaceClock, PutsTheWindowAtItsSpot) {
  const Spot& s = GetParam();
  World().screenWidthPixels = 1024;
  World().screenHeightPixels = 768;
  Main m;
  m.Move(111, 222);
  m.PlaceClock(s.position);
  EXPECT_DOUBLE_EQ(m.Left(), s.moves ? s.left : 111);
  EXPECT_DOUBLE_EQ(m.Top(), s.moves ? s.top : 222);
}

INSTANTIATE_TEST_SUITE_P(
    Spots, PlaceClock,
    ::testing::Values(Spot{SettingValue(0), true, 7680 - 2250, 5760 - 1700},
                      Spot{SettingValue(), true, 7680 - 2250, 5760 - 1700},
                      Spot{SettingValue(1), true, 0, 0},
                      Spot{SettingValue(2), true, 7680 - 2250, 0},
                      Spot{SettingValue(3), true, 10860, 0},
                      Spot{SettingValue(4), true, 0, 11520 - 3400},
                      Spot{SettingValue(5), true, 7680 - 2250, 11520 - 3400},
                      Spot{SettingValue(6), true, 15360 - 4500, 11520 - 3400},
                      Spot{SettingValue(7), false, 0, 0}, Spot{SettingValue(-1), false, 0, 0},
                      Spot{SettingValue(9), false, 0, 0},
                      Spot{SettingValue(std::string("x")), false, 0, 0}));

TEST(PlaceClockHalves, OddScreenSizesGiveHalfTwips) {
  auto spot = ClockSpotFor(SettingValue(0), {0, 0, 1023 * 15, 767 * 15});
  ASSERT_TRUE(spot);
  EXPECT_DOUBLE_EQ(spot->left, 1023 * 15 / 2.0 - 2250);
  EXPECT_DOUBLE_EQ(spot->top, 767 * 15 / 2.0 - 1700);
}

// The spots measured from a work area whose corner is not the origin: a panel on the left and
// one at the top, on a monitor left of and above the primary one's corner.
TEST(PlaceClockWorkArea, SpotsStandWithinTheWorkArea) {
  const plat::MonitorRect work{-1000 * 15, -200 * 15, 900 * 15, 700 * 15};  // 900 x 700 px
  const std::pair<int, ClockSpot> rows[] = {
      {0, {(-1000 + 450) * 15 - 2250, (-200 + 350) * 15 - 1700}},
      {1, {-1000 * 15, -200 * 15}},
      {3, {(-1000 + 900) * 15 - 4500, -200 * 15}},
      {4, {-1000 * 15, (-200 + 700) * 15 - 3400}},
      {5, {(-1000 + 450) * 15 - 2250, (-200 + 700) * 15 - 3400}},
      {6, {(-1000 + 900) * 15 - 4500, (-200 + 700) * 15 - 3400}},
  };
  for (const auto& [position, want] : rows)
    EXPECT_EQ(ClockSpotFor(SettingValue(position), work), want) << position;
}

TEST(Startup, StoredPositionPlacesTheShownWindow) {
  StoreDword("Format", 1);
  StoreDword("Position", 3);
  Main m;
  LoadAndRunOnePass(m);
  const plat::PixelRect& b = plat::null::ViewOf(m)->bounds;
  EXPECT_EQ(b.x, 1024 - 300);
  EXPECT_EQ(b.y, 0);
}

}  // namespace
