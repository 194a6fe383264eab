#include "shared/main_mod.h"

#include <algorithm>
#include <cmath>

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

bool ClockOnAnyMonitor(double left, double top, const std::vector<plat::MonitorRect>& monitors) {
  const double tx = plat::TwipsPerPixelX(), ty = plat::TwipsPerPixelY();
  const double x0 = std::floor(left / tx), y0 = std::floor(top / ty);
  for (const plat::MonitorRect& m : monitors) {
    const double mx0 = m.left / tx, mx1 = (m.left + m.width) / tx;
    const double my0 = m.top / ty, my1 = (m.top + m.height) / ty;
    // Row by row: at row r the triangle spans 150 -/+ r * 150/225 pixels around its apex.
    for (int r = 0; r < 225; ++r) {
      const double y = y0 + r;
      if (y < my0 || y >= my1) continue;
      const double half = r * 150.0 / 225.0;
      const double from = x0 + 150 - half, to = x0 + 150 + half + 1;
      if (std::max(from, mx0) < std::min(to, mx1)) return true;
    }
  }
  return false;
}
