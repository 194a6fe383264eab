#include "icon_art.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace icon_art {
namespace {

// The clock's own colours: the face, the rules and base bar, and the tip as the screen shows it.
constexpr uint32_t kFace = 0xBDB795, kInk = 0x514006, kTip = 0x0054E3;

// The triangle stands on its base: tip at (32, 4), 62 units wide at the bottom, y = 59.
constexpr double kApexY = 4, kBottomY = 59, kHalfBase = 31;
// The blue tip ends at 14, where the first rule starts; it is taller than on the clock, so
// that it still shows at 16 px. The base bar is 5 units thick.
constexpr double kTipEndY = 14, kBarY = 54;
constexpr double kTierH = (kBarY - kTipEndY) / 7, kRuleH = 1.5;  // each tier has a rule on top
constexpr double kBorderW = 1;  // the vertical borders between cells

// Where each tier, top to bottom, has cell borders: offsets from the centre line. The cells
// widen down the clock as the real ones do (seconds at the top, years at the bottom), and the
// borders do not line up, as tiers that slide at their own pace would not.
const std::vector<std::vector<double>> kBorders = {
    {}, {-4, 4}, {-5, 3}, {-4, 4}, {-3, 5}, {-10, 8}, {0}};

// Rounded to what the SVG file writes, so the pixels come from exactly the numbers it holds.
double Snap(double v) { return std::round(v * 1000) / 1000; }

double HalfWidth(double y) { return kHalfBase * (y - kApexY) / (kBottomY - kApexY); }

// The slice of the clock's triangle between heights y0 < y1: a trapezoid, or a triangle when
// it starts at the apex.
Shape Band(double y0, double y1, uint32_t rgb) {
  Shape s{rgb, {}};
  const double c = kSide / 2.0, h0 = HalfWidth(y0), h1 = HalfWidth(y1);
  if (h0 > 0) s.points.push_back({Snap(c - h0), Snap(y0)});
  s.points.push_back({Snap(c + h0), Snap(y0)});
  s.points.push_back({Snap(c + h1), Snap(y1)});
  s.points.push_back({Snap(c - h1), Snap(y1)});
  return s;
}

Shape Rect(double x0, double y0, double x1, double y1, uint32_t rgb) {
  return {rgb, {{Snap(x0), Snap(y0)}, {Snap(x1), Snap(y0)}, {Snap(x1), Snap(y1)}, {Snap(x0), Snap(y1)}}};
}

std::string Number(double v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  std::string s = buf;
  s.erase(s.find_last_not_of('0') + 1);
  if (s.back() == '.') s.pop_back();
  return s == "-0" ? "0" : s;
}

bool Inside(const std::vector<Point>& p, double x, double y) {
  // Convex: the point is on the same side of every edge, whichever way the edges run.
  bool neg = false, pos = false;
  for (size_t i = 0; i < p.size(); ++i) {
    const Point& a = p[i];
    const Point& b = p[(i + 1) % p.size()];
    const double cross = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
    neg |= cross < 0;
    pos |= cross > 0;
    if (neg && pos) return false;
  }
  return true;
}

}  // namespace

std::vector<Shape> ClockIcon() {
  std::vector<Shape> s;
  s.push_back(Band(kApexY, kBarY, kFace));
  s.push_back(Band(kApexY, kTipEndY, kTip));
  for (size_t tier = 0; tier < kBorders.size(); ++tier) {
    const double top = kTipEndY + double(tier) * kTierH, cellTop = top + kRuleH;
    s.push_back(Band(top, cellTop, kInk));
    // A border only where it clears the tier's slanted ends at the top of the cells.
    for (double dx : kBorders[tier])
      if (std::abs(dx) + kBorderW / 2 + 1.5 < HalfWidth(cellTop))
        s.push_back(Rect(kSide / 2.0 + dx - kBorderW / 2, cellTop, kSide / 2.0 + dx + kBorderW / 2,
                         top + kTierH, kInk));
  }
  s.push_back(Band(kBarY, kBottomY, kInk));
  return s;
}

std::string Svg(const std::vector<Shape>& shapes) {
  const std::string side = std::to_string(kSide);
  std::string o = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  "<!-- Drawn by tools/make_assets from tools/icon_art.cpp: change it there. -->\n"
                  "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + side + "\" height=\"" + side +
                  "\" viewBox=\"0 0 " + side + " " + side + "\">\n";
  for (const Shape& s : shapes) {
    char fill[8];
    std::snprintf(fill, sizeof fill, "#%06x", unsigned(s.rgb));
    o.append("  <polygon fill=\"").append(fill).append("\" points=\"");
    for (size_t i = 0; i < s.points.size(); ++i)
      o.append(i ? " " : "").append(Number(s.points[i].x)).append(",").append(Number(s.points[i].y));
    o.append("\"/>\n");
  }
  return o + "</svg>\n";
}

std::vector<uint8_t> Rasterise(const std::vector<Shape>& shapes, int n) {
  constexpr int kGrid = 16;  // 16 x 16 samples a pixel: 256 levels of coverage
  const double unit = double(kSide) / n;
  std::vector<uint8_t> out(size_t(n) * size_t(n) * 4, 0);
  for (int py = 0; py < n; ++py)
    for (int px = 0; px < n; ++px) {
      int hits = 0, sum[3] = {0, 0, 0};
      for (int sy = 0; sy < kGrid; ++sy)
        for (int sx = 0; sx < kGrid; ++sx) {
          const double x = (px + (sx + 0.5) / kGrid) * unit, y = (py + (sy + 0.5) / kGrid) * unit;
          // The last shape that holds the sample is the one on top.
          for (auto s = shapes.rbegin(); s != shapes.rend(); ++s)
            if (Inside(s->points, x, y)) {
              ++hits;
              sum[0] += int(s->rgb >> 16 & 0xFF);
              sum[1] += int(s->rgb >> 8 & 0xFF);
              sum[2] += int(s->rgb & 0xFF);
              break;
            }
        }
      if (hits == 0) continue;
      uint8_t* p = &out[(size_t(py) * size_t(n) + size_t(px)) * 4];
      for (int c = 0; c < 3; ++c) p[c] = uint8_t((sum[c] + hits / 2) / hits);
      p[3] = uint8_t((hits * 255 + kGrid * kGrid / 2) / (kGrid * kGrid));
    }
  return out;
}

}  // namespace icon_art
