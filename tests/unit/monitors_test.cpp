// Which monitor is the screen, when the clock counts as stranded, and where a stranded clock goes.
#include <gtest/gtest.h>

#include <map>

#include "clock/main_form.h"
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

TEST(ClockOnAnyMonitor, TheTriangleNotItsBoxMustTouchAMonitor) {
  struct Row {
    double x, y;  // window corner, pixels
    plat::MonitorRect monitor;
    bool on;
  } rows[] = {
      {100, 100, Px(0, 0, 1024, 768), true},
      {1000, 100, Px(0, 0, 1024, 768), true},     // mostly off to the right
      {1500, 300, Px(0, 0, 1024, 768), false},
      {1000, 1000, Px(0, 0, 1010, 1010), false},  // the box's top-left corner only
      {1000, 1000, Px(1149, 0, 10, 1002), true},  // the two pixels of the top row that has any
      {1000, 1000, Px(1150, 0, 10, 1001), false},  // the apex row has none
      {1000, 1001, Px(1151, 1000, 10, 2), false},
      {-200, 0, Px(0, 0, 1024, 768), true},       // the right half of the base
  };
  for (const Row& r : rows)
    EXPECT_EQ(ClockOnAnyMonitor(r.x * 15, r.y * 15, {r.monitor}), r.on) << r.x << "," << r.y;
  EXPECT_TRUE(ClockOnAnyMonitor(1500 * 15, 300 * 15, {Px(0, 0, 1024, 768), Px(1024, 0, 900, 700)}));
}

// A monitor one pixel wide on each side of every row the window's region has: the rescue counts
// exactly the region's pixels, and a row the region leaves empty is empty for it too.
TEST(ClockOnAnyMonitor, CountsExactlyTheRegionsPixels) {
  std::map<long, std::pair<long, long>> rows;  // row: first and last pixel
  for (const plat::PixelSpan& s : plat::PolygonSpans(ClockTriangle()))
    rows[s.y] = {s.x, s.x + s.width - 1};
  for (long y = -1; y <= ClockTriangleHeight(); ++y) {
    const auto row = rows.find(y);
    EXPECT_EQ(ClockOnAnyMonitor(0, 0, {Px(-10, double(y), 400, 1)}), row != rows.end()) << y;
    if (row == rows.end()) continue;
    const auto [first, last] = row->second;
    for (const auto& [x, on] : {std::pair{first - 1, false}, {first, true}, {last, true}, {last + 1, false}})
      EXPECT_EQ(ClockOnAnyMonitor(0, 0, {Px(double(x), double(y), 1, 1)}), on) << x << "," << y;
  }
}

class DisplayChange : public ::testing::Test {
 protected:
  void SetUp() override { plat::null::Reset(); }
  void TearDown() override { plat::null::Reset(); }
};

TEST_F(DisplayChange, AStrandedClockGoesToItsSpotOnTheNewPrimaryMonitor) {
  ScreenWidth = 2200 * 15;  // as measured at start-up: not used again
  ScreenHeight = 1024 * 15;
  struct Row {
    SettingValue position;
    double left, top;  // where it lands, pixels
  } rows[] = {
      {SettingValue(6), 400 + 1000 - 300, 100 + 700 - 3400 / 15.0},
      {SettingValue(1), 400, 100},
      {SettingValue(7), 400 + 500 - 150, 100 + 350 - 1700 / 15.0},  // places nowhere: the centre
  };
  for (const Row& r : rows) {
    Main m;
    PositionSetting = r.position;
    m.Move(3000 * 15, 300 * 15);
    World().monitors = {Px(400, 100, 1000, 700), Px(-500, 0, 400, 300)};
    m.NativeDisplayChanged();
    EXPECT_DOUBLE_EQ(m.Left(), r.left * 15);
    EXPECT_DOUBLE_EQ(m.Top(), r.top * 15);
  }
}

TEST_F(DisplayChange, AClockStillOnAMonitorStaysPut) {
  PositionSetting = SettingValue(0);
  Main m;
  m.Move(-450 * 15, 10 * 15);
  World().monitors = {Px(0, 0, 1000, 700), Px(-500, 0, 400, 300)};
  m.NativeDisplayChanged();
  EXPECT_DOUBLE_EQ(m.Left(), -450 * 15);
  EXPECT_DOUBLE_EQ(m.Top(), 10 * 15);
}

}  // namespace
