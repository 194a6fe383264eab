// Which monitor is the screen, what panels leave of it, when the clock can no longer be reached,
// where it goes when the screen changes, and where dialogs stand.
#include <gtest/gtest.h>

#include <map>
#include <optional>

#include "clock/main_form.h"
#include "platform/common/json.h"
#include "platform/common/monitors.h"
#include "platform/common/polygon_rows.h"
#include "platform/null/null_backend.h"
#include "shared/main_mod.h"

namespace {

using plat::MonitorInfo;
using plat::PixelRect;
using plat::null::World;

TEST(PrimaryMonitor, MarkedOneElseTheOneAtTheOriginElseNone) {
  const PixelRect left{0, 0, 1024, 768}, right{1024, 0, 1920, 1080}, above{-800, -600, 800, 600};
  struct Row {
    std::vector<MonitorInfo> list;
    std::optional<PixelRect> want;
  } rows[] = {
      {{{left, false}, {right, true}}, right},
      {{{right, false}, {left, false}}, left},
      {{{above, false}, {right, false}}, std::nullopt},  // (0,0) lies on neither
      {{{PixelRect{5, 5, 0, 0}, true}, {left, false}}, left},  // an empty "primary" is no monitor
      {{}, std::nullopt},
  };
  for (const Row& r : rows) EXPECT_EQ(plat::PrimaryMonitor(r.list), r.want);
}
plat::MonitorRect Px(double x, double y, double w, double h) {
  return {x * 15, y * 15, w * 15, h * 15};
}

// The tip and the top tier (the window's rows 1-76, as the region has them) must lie on the
// monitors, together; the rest of the triangle may be off.
TEST(ClockReachable, TheTipAndTopTierMustBeOnTheMonitors) {
  struct Row {
    double x, y;  // window corner, pixels
    std::vector<plat::Monitor> monitors;
    bool reachable;
  } rows[] = {
      {100, 100, {Px(0, 0, 1024, 768)}, true},
      {-99, 0, {Px(0, 0, 1024, 768)}, true},   // row 76 starts at x 99; row 0 is empty
      {-100, 0, {Px(0, 0, 1024, 768)}, false},
      {100, -1, {Px(0, 0, 1024, 768)}, true},
      {100, -2, {Px(0, 0, 1024, 768)}, false},
      {823, 100, {Px(0, 0, 1024, 768)}, true},   // row 76 ends at x 200
      {824, 100, {Px(0, 0, 1024, 768)}, false},
      {100, 691, {Px(0, 0, 1024, 768)}, true},   // the base may be off, the top tier not
      {100, 692, {Px(0, 0, 1024, 768)}, false},
      {-500, 200, {Px(0, 0, 1024, 768)}, false},  // the base's right half alone is no handle
      // Across two monitors side by side, and over a gap between two.
      {900, 100, {Px(0, 0, 1024, 768), Px(1024, 0, 900, 700)}, true},
      {900, 100, {Px(0, 0, 1024, 768), Px(1034, 0, 900, 700)}, false},
      {950, 650, {Px(0, 0, 1024, 768), Px(1024, 0, 900, 700)}, false},  // below the right one's foot
  };
  for (const Row& r : rows)
    EXPECT_EQ(ClockReachable(r.x * 15, r.y * 15, r.monitors), r.reachable) << r.x << "," << r.y;
}

// Exactly the region's pixels of those rows count: a one-pixel gap at either end of any of them
// leaves the clock unreachable, one just beyond it does not.
TEST(ClockReachable, CountsExactlyTheRegionsPixels) {
  std::map<long, std::pair<long, long>> rows;  // row: first and last pixel
  for (const plat::PixelSpan& s : plat::PolygonSpans(ClockTriangle()))
    if (s.y < 77) rows[s.y] = {s.x, s.x + s.width - 1};
  ASSERT_EQ(rows.size(), 76u);  // the apex row has none
  for (const auto& [y, ends] : rows) {
    const auto [first, last] = ends;
    const double yy = double(y);
    auto gapAt = [&](long x) {  // a wide monitor with pixel (x, y) missing
      return std::vector<plat::Monitor>{Px(-10, -10, 400, yy + 10), Px(-10, yy + 1, 400, 400),
                                        Px(-10, yy, double(x) + 10, 1), Px(double(x + 1), yy, 400, 1)};
    };
    EXPECT_TRUE(ClockReachable(0, 0, gapAt(first - 1))) << y;
    EXPECT_FALSE(ClockReachable(0, 0, gapAt(first))) << y;
    EXPECT_FALSE(ClockReachable(0, 0, gapAt(last))) << y;
    EXPECT_TRUE(ClockReachable(0, 0, gapAt(last + 1))) << y;
  }
}

// Dialogs open where they belong, then move as little as needed into the work area of the
// monitor they overlap most.
TEST(KeptOnScreen, MovesAsLittleAsNeededIntoTheWorkArea) {
  const plat::Monitor left{Px(0, 0, 1024, 768), Px(0, 0, 1024, 736)};  // a 32-px bottom panel
  const plat::Monitor right{Px(1024, 0, 1280, 1024), Px(1072, 0, 1232, 1024)};  // a 48-px dock
  struct Row {
    double x, y, w, h;
    double wantX, wantY;
  } rows[] = {
      {100, 100, 230, 177, 100, 100},    // whole already
      {800, 650, 230, 177, 794, 559},    // past the bottom right: up and left
      {-50, -20, 230, 177, 0, 0},
      {1000, 100, 230, 177, 1072, 100},  // most of it on the right monitor: right of its dock
      {850, 100, 230, 177, 794, 100},    // most on the left one
      {-3000, 50, 230, 177, 0, 50},      // on none: the primary
      {100, 100, 1100, 900, 0, 0},       // too large: its corner inside
  };
  for (const Row& r : rows) {
    const ClockSpot kept = KeptOnScreen(r.x * 15, r.y * 15, r.w * 15, r.h * 15, {left, right});
    EXPECT_EQ(kept, (ClockSpot{r.wantX * 15, r.wantY * 15})) << r.x << "," << r.y;
  }
}

TEST(WorkAreaOf, EachStrutCutsItsOwnSideOfTheMonitorsItReaches) {
  const PixelRect left{0, 0, 1024, 768}, right{1024, 0, 1176, 1024};  // root 2200 x 1024
  auto strut = [](std::vector<long> v) { return plat::StrutFrom(v.data(), int(v.size()), 2200, 1024); };
  const plat::Strut bottom32 = strut({0, 0, 0, 32, 0, 0, 0, 0, 0, 0, 1024, 2199});  // right's foot
  const plat::Strut left48 = strut({48, 0, 0, 0, 0, 767, 0, 0, 0, 0, 0, 0});
  const plat::Strut top27Full = strut({0, 0, 27, 0});  // the older property: the whole edge
  const plat::Strut bottom288 = strut({0, 0, 0, 288, 0, 0, 0, 0, 0, 0, 0, 1023});  // left's foot
  const PixelRect gnomeBar{0, 32, 1024, 736};
  struct Row {
    PixelRect monitor;
    std::vector<plat::Strut> struts;
    const PixelRect* desktop;
    PixelRect want;
  } rows[] = {
      {left, {}, nullptr, left},
      {left, {bottom32}, nullptr, left},  // along the other monitor's foot only
      {right, {bottom32}, nullptr, {1024, 0, 1176, 992}},
      {left, {left48, bottom288}, nullptr, {48, 0, 976, 736}},
      {right, {left48, bottom288}, nullptr, right},
      {right, {top27Full, bottom32}, nullptr, {1024, 27, 1176, 965}},
      {left, {}, &gnomeBar, gnomeBar},  // a manager's own panel, known only from _NET_WORKAREA
      {left, {strut({0, 0, 700, 0})}, nullptr, left},  // too little left for the clock
  };
  for (const Row& r : rows)
    EXPECT_EQ(plat::WorkAreaOf(r.monitor, r.struts, 2200, 1024, r.desktop, 300, 226), r.want)
        << r.want.x << "," << r.want.y << " " << r.want.w << "x" << r.want.h;
}

class DisplayChange : public ::testing::Test {
 protected:
  void SetUp() override { plat::null::Reset(); }
  void TearDown() override { plat::null::Reset(); }
};

// At its spot, the clock follows the spot; dragged, it stays where it was on the primary monitor
// (kept from its corner) unless its handle is then off every monitor, and goes to its spot (the
// centre for a Position that places nowhere). A move the window manager makes of its own around
// the change is put back.
TEST_F(DisplayChange, AtItsSpotItFollowsDraggedItStaysUnlessOutOfReach) {
  const plat::Monitor primary = Px(0, 0, 1024, 768), left = Px(-1024, 0, 1024, 768);
  const std::vector<plat::Monitor> smaller = {{Px(0, 0, 1000, 700), Px(0, 0, 1000, 650)},
                                              Px(-500, 0, 400, 300)};
  // The left monitor unplugged: the screen's coordinates start where the primary one does.
  const std::vector<plat::Monitor> shifted = {Px(-1024, 0, 1024, 768)};
  const double spot6x = 1000 - 300, spot6y = 650 - 3400 / 15.0;
  struct Row {
    int position;
    std::vector<plat::Monitor> before, after;
    std::optional<std::pair<int, int>> dragTo;  // pixels
    double left, top;                           // where it stands after the change, pixels
  } rows[] = {
      {6, {primary}, smaller, std::nullopt, spot6x, spot6y},  // above the new panel
      {1, {primary, left}, shifted, std::nullopt, -1024, 0},
      {6, {primary}, smaller, std::pair{-450, 10}, -450, 10},  // on the monitor left: stays
      {6, {primary}, smaller, std::pair{3000, 300}, spot6x, spot6y},
      {6, {primary}, smaller, std::pair{900, 300}, spot6x, spot6y},  // tip and top tier partly off
      {7, {primary}, smaller, std::pair{3000, 300}, 500 - 150, 325 - 1700 / 15.0},
      {6, {primary, left}, shifted, std::pair{100, 200}, -924, 200},  // stays on the primary
      {1, {primary, left}, shifted, std::pair{-700, 300}, -1024, 0},  // on the monitor that went
  };
  for (const Row& r : rows) {
    Main m;
    PositionSetting = SettingValue(r.position);
    World().monitors = r.before;
    m.PlaceClock(PositionSetting);
    if (r.dragTo) m.NativeMoved(r.dragTo->first, r.dragTo->second, true);
    World().monitors = r.after;
    m.NativeMoved(275, 412);  // the manager's own idea, before the notice
    m.NativeDisplayChanged();
    m.NativeMoved(275, 412);  // and after it
    EXPECT_DOUBLE_EQ(m.Left(), r.left * 15) << r.position << " " << r.left;
    EXPECT_DOUBLE_EQ(m.Top(), r.top * 15) << r.position << " " << r.left;
  }
}

// A manager that keeps moving the clock is given its way after a few tries.
TEST_F(DisplayChange, AnInsistentManagerIsNotFoughtForEver) {
  PositionSetting = SettingValue(1);
  Main m;
  m.PlaceClock(PositionSetting);
  World().monitors = {Px(0, 0, 800, 600)};
  m.NativeDisplayChanged();
  for (int i = 0; i < 10; ++i) m.NativeMoved(5, 30 + i);
  EXPECT_DOUBLE_EQ(m.Top(), 39 * 15);
}

// A placement asked for soon after a change (Setup's Apply) is not put back to the place the
// change gave.
TEST_F(DisplayChange, AnApplySoonAfterAChangeIsNotUndone) {
  PositionSetting = SettingValue(1);
  Main m;
  m.PlaceClock(PositionSetting);
  World().monitors = {Px(0, 30, 1024, 738)};
  m.NativeDisplayChanged();
  PositionSetting = SettingValue(3);
  m.PlaceClock(PositionSetting);
  // A notice of a place on the way there (sway's, of where the window stood before the move it
  // was asked for) is no reason to take the clock back to Position 1's spot.
  m.NativeMoved(490, 30);
  EXPECT_DOUBLE_EQ(m.Left(), 490 * 15);
  EXPECT_DOUBLE_EQ(m.Top(), 30 * 15);
}

TEST(Json, ReadsWhatSwayAnswers) {
  const auto doc = plat::ParseJson(
      R"( [ {"num": 1, "visible": true, "focused": false, "output": "HEADLESS-1",)"
      R"( "rect": {"x": 0, "y": 25, "width": 1280, "height": 999}, "t": "\u00e9\ud83d\ude00\n"},)"
      R"( {"visible": false, "rect": {}, "list": [null, -1.5e1, [], {}]} ] )");
  ASSERT_TRUE(doc);
  ASSERT_EQ(doc->items.size(), 2u);
  const plat::Json& ws = doc->items[0];
  EXPECT_TRUE(ws.IsTrue("visible"));
  EXPECT_FALSE(ws.IsTrue("focused"));
  EXPECT_EQ(ws.Find("rect")->NumberAt("height"), 999);
  EXPECT_EQ(ws.Find("t")->text, "\xc3\xa9\xf0\x9f\x98\x80\n");
  EXPECT_EQ(doc->items[1].Find("list")->items[1].number, -15);
}

TEST(Json, RefusesWhatIsNotJson) {
  for (const char* bad : {"", "[", "[1,]", R"({"a" 1})", "[1] x", R"("\ud800")", R"("\q")",
                          "\"a\nb\"", "tru", "[-]"})
    EXPECT_FALSE(plat::ParseJson(bad)) << bad;
  const std::string deep = std::string(100, '[') + std::string(100, ']');
  EXPECT_FALSE(plat::ParseJson(deep));  // nested too deep for another program's answer
}

}  // namespace
