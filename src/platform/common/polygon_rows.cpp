#include "platform/common/polygon_rows.h"

#include <algorithm>
#include <cmath>

namespace plat {

std::vector<PixelSpan> PolygonSpans(const std::vector<Point>& pts) {
  std::vector<PixelSpan> spans;
  if (pts.size() < 3) return spans;
  long minY = pts[0].y, maxY = pts[0].y;
  for (const Point& p : pts) {
    minY = std::min(minY, p.y);
    maxY = std::max(maxY, p.y);
  }
  std::vector<double> xs;
  for (long y = minY; y < maxY; ++y) {
    const double yc = y + 0.5;  // sample each row through pixel centres
    xs.clear();
    for (size_t i = 0; i < pts.size(); ++i) {
      const Point& a = pts[i];
      const Point& b = pts[(i + 1) % pts.size()];
      if (a.y == b.y) continue;
      const Point& lo = a.y < b.y ? a : b;
      const Point& hi = a.y < b.y ? b : a;
      if (yc < lo.y || yc >= hi.y) continue;
      xs.push_back(lo.x + (yc - lo.y) * double(hi.x - lo.x) / double(hi.y - lo.y));
    }
    std::sort(xs.begin(), xs.end());
    for (size_t i = 0; i + 1 < xs.size(); i += 2) {
      // Pixel x is in when xs[i] <= x + 0.5 < xs[i + 1].
      int first = static_cast<int>(std::ceil(xs[i] - 0.5));
      int last = static_cast<int>(std::ceil(xs[i + 1] - 0.5)) - 1;
      if (last >= first) spans.push_back({static_cast<int>(y), first, last - first + 1});
    }
  }
  return spans;
}

std::vector<PixelSpan> DeviceSpans(std::vector<Point> logical, const DisplayScale& scale) {
  for (Point& p : logical) {
    p.x = scale.ToDevice(static_cast<int>(p.x));
    p.y = scale.ToDevice(static_cast<int>(p.y));
  }
  return PolygonSpans(logical);
}

}  // namespace plat
