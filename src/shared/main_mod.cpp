#include "shared/main_mod.h"

#include <algorithm>
#include <cmath>

#include "platform/common/polygon_rows.h"

std::string VersionNumber;
std::string VersionDate;
double ScreenLeft = 0;
double ScreenTop = 0;
double ScreenWidth = 0;
double ScreenHeight = 0;
SettingValue FormatSetting;
SettingValue MarkSetting;
SettingValue PositionSetting;

void MeasureScreen(const std::vector<plat::Monitor>& monitors) {
  if (monitors.empty()) return;
  const plat::MonitorRect& work = monitors.front().work;
  ScreenLeft = work.left;
  ScreenTop = work.top;
  ScreenWidth = work.width;
  ScreenHeight = work.height;
}

// 2250 twips is half the triangle's 300-pixel base, 4500 all of it, 3400 its 225-pixel height
// plus 25 twips; all at 15 twips per pixel and deliberately not rescaled.
std::optional<ClockSpot> ClockSpotFor(const SettingValue& position, const plat::MonitorRect& s) {
  const double x0 = s.left, y0 = s.top, sw = s.width, sh = s.height;
  if (position == 0) return ClockSpot{x0 + sw / 2 - 2250, y0 + sh / 2 - 1700};
  if (position == 1) return ClockSpot{x0, y0};
  if (position == 2) return ClockSpot{x0 + sw / 2 - 2250, y0};
  if (position == 3) return ClockSpot{x0 + sw - 4500, y0};
  if (position == 4) return ClockSpot{x0, y0 + sh - 3400};
  if (position == 5) return ClockSpot{x0 + sw / 2 - 2250, y0 + sh - 3400};
  if (position == 6) return ClockSpot{x0 + sw - 4500, y0 + sh - 3400};
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

namespace {

// The rows of the window the user needs to reach the clock: the caption strip at the tip (330
// twips) and the seconds tier down to the rule below it (825 twips into the client area).
constexpr long kReachableRows = (330 + 825) / 15;

// Whether [from, to) on pixel row y is covered by the monitors, together.
bool RowCovered(double y, double from, double to, const std::vector<plat::Monitor>& monitors) {
  const double tx = plat::TwipsPerPixelX(), ty = plat::TwipsPerPixelY();
  std::vector<std::pair<double, double>> spans;
  for (const plat::Monitor& m : monitors) {
    const plat::MonitorRect& r = m.whole;
    if (y < r.top / ty || y >= (r.top + r.height) / ty) continue;
    spans.emplace_back(r.left / tx, (r.left + r.width) / tx);
  }
  std::sort(spans.begin(), spans.end());
  for (const auto& [a, b] : spans) {
    if (a > from) return false;  // a gap before this monitor
    from = std::max(from, b);
    if (from >= to) return true;
  }
  return from >= to;
}

double Overlap(double a0, double a1, double b0, double b1) {
  return std::max(0.0, std::min(a1, b1) - std::max(a0, b0));
}

// The start of a span of `size` moved as little as needed into [lo, lo + room); its start stays
// inside where it does not fit.
double Within(double start, double size, double lo, double room) {
  return std::max(lo, std::min(start, lo + room - size));
}

}  // namespace

bool ClockReachable(double left, double top, const std::vector<plat::Monitor>& monitors) {
  const double x0 = std::floor(left / plat::TwipsPerPixelX());
  const double y0 = std::floor(top / plat::TwipsPerPixelY());
  static const std::vector<plat::PixelSpan> rows = plat::PolygonSpans(ClockTriangle());
  for (const plat::PixelSpan& row : rows) {
    if (row.y >= kReachableRows) continue;
    const double from = x0 + row.x;
    if (!RowCovered(y0 + row.y, from, from + row.width, monitors)) return false;
  }
  return true;
}

ClockSpot KeptOnScreen(double left, double top, double width, double height,
                       const std::vector<plat::Monitor>& monitors) {
  if (monitors.empty()) return {left, top};
  const plat::Monitor* on = &monitors.front();
  double most = 0;
  for (const plat::Monitor& m : monitors) {
    const plat::MonitorRect& r = m.whole;
    const double area = Overlap(left, left + width, r.left, r.left + r.width) *
                        Overlap(top, top + height, r.top, r.top + r.height);
    if (area > most) most = area, on = &m;
  }
  const plat::MonitorRect& w = on->work;
  return {Within(left, width, w.left, w.width), Within(top, height, w.top, w.height)};
}

void KeepOnScreen(plat::Form& form) {
  const ClockSpot kept =
      KeptOnScreen(form.Left(), form.Top(), form.Width(), form.Height(), plat::Monitors());
  if (kept.left != form.Left() || kept.top != form.Top()) form.Move(kept.left, kept.top);
}
