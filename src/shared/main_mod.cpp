#include "shared/main_mod.h"

#include <algorithm>
#include <cmath>

#include "platform/common/polygon_rows.h"

std::string VersionNumber;
std::string VersionDate;
double ScreenWidth = 0;
double ScreenHeight = 0;
SettingValue FormatSetting;
SettingValue MarkSetting;
SettingValue PositionSetting;

// 2250 twips is half the triangle's 300-pixel base, 4500 all of it, 3400 its 225-pixel height
// plus 25 twips; all at 15 twips per pixel and deliberately not rescaled.
std::optional<ClockSpot> ClockSpotFor(const SettingValue& position, double sw, double sh) {
  if (position == 0) return ClockSpot{sw / 2 - 2250, sh / 2 - 1700};
  if (position == 1) return ClockSpot{0, 0};
  if (position == 2) return ClockSpot{sw / 2 - 2250, 0};
  if (position == 3) return ClockSpot{sw - 4500, 0};
  if (position == 4) return ClockSpot{0, sh - 3400};
  if (position == 5) return ClockSpot{sw / 2 - 2250, sh - 3400};
  if (position == 6) return ClockSpot{sw - 4500, sh - 3400};
  return std::nullopt;
}

const std::vector<plat::Point>& ClockTriangle() {
  static const std::vector<plat::Point> triangle{{150, 0}, {0, 225}, {300, 225}};
  return triangle;
}

int ClockTriangleWidth() {
  long w = 0;
  for (const plat::Point& p : ClockTriangle()) w = std::max(w, p.x);
  return int(w);
}

int ClockTriangleHeight() {
  long h = 0;
  for (const plat::Point& p : ClockTriangle()) h = std::max(h, p.y);
  return int(h);
}

bool ClockOnAnyMonitor(double left, double top, const std::vector<plat::MonitorRect>& monitors) {
  const double tx = plat::TwipsPerPixelX(), ty = plat::TwipsPerPixelY();
  const double x0 = std::floor(left / tx), y0 = std::floor(top / ty);
  static const std::vector<plat::PixelSpan> rows = plat::PolygonSpans(ClockTriangle());
  for (const plat::MonitorRect& m : monitors) {
    const double mx0 = m.left / tx, mx1 = (m.left + m.width) / tx;
    const double my0 = m.top / ty, my1 = (m.top + m.height) / ty;
    for (const plat::PixelSpan& row : rows) {
      const double y = y0 + row.y;
      if (y < my0 || y >= my1) continue;
      const double from = x0 + row.x, to = from + row.width;
      if (std::max(from, mx0) < std::min(to, mx1)) return true;
    }
  }
  return false;
}
