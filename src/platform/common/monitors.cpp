#include "platform/common/monitors.h"

#include <algorithm>

namespace plat {

std::optional<PixelRect> PrimaryMonitor(const std::vector<MonitorInfo>& monitors) {
  for (const MonitorInfo& m : monitors)
    if (m.primary && m.rect.w > 0 && m.rect.h > 0) return m.rect;
  for (const MonitorInfo& m : monitors)
    if (m.rect.x <= 0 && m.rect.y <= 0 && m.rect.x + m.rect.w > 0 && m.rect.y + m.rect.h > 0)
      return m.rect;
  return std::nullopt;
}

}  // namespace plat

namespace plat {

Strut StrutFrom(const long* v, int count, int rootW, int rootH) {
  Strut s;
  if (count < 4) return s;
  s.left = int(v[0]), s.right = int(v[1]), s.top = int(v[2]), s.bottom = int(v[3]);
  if (count >= 12) {
    s.leftStartY = int(v[4]), s.leftEndY = int(v[5]), s.rightStartY = int(v[6]), s.rightEndY = int(v[7]);
    s.topStartX = int(v[8]), s.topEndX = int(v[9]), s.bottomStartX = int(v[10]), s.bottomEndX = int(v[11]);
  } else {
    s.leftEndY = s.rightEndY = rootH - 1;
    s.topEndX = s.bottomEndX = rootW - 1;
  }
  return s;
}

namespace {

// Whether [a0, a1) and [b0, b1) share a pixel.
bool Meet(long a0, long a1, long b0, long b1) { return std::max(a0, b0) < std::min(a1, b1); }

}  // namespace

PixelRect WorkAreaOf(const PixelRect& m, const std::vector<Strut>& struts, int rootW, int rootH,
                     const PixelRect* desktop, int minW, int minH) {
  long x0 = m.x, y0 = m.y, x1 = long(m.x) + m.w, y1 = long(m.y) + m.h;
  for (const Strut& s : struts) {
    // Each kept band, as root pixels across its edge and along it, against the monitor's own.
    if (s.left > 0 && Meet(0, s.left, m.x, m.x + m.w) && Meet(s.leftStartY, s.leftEndY + 1L, m.y, m.y + m.h))
      x0 = std::max<long>(x0, s.left);
    if (s.right > 0 && Meet(rootW - s.right, rootW, m.x, m.x + m.w) &&
        Meet(s.rightStartY, s.rightEndY + 1L, m.y, m.y + m.h))
      x1 = std::min<long>(x1, rootW - s.right);
    if (s.top > 0 && Meet(0, s.top, m.y, m.y + m.h) && Meet(s.topStartX, s.topEndX + 1L, m.x, m.x + m.w))
      y0 = std::max<long>(y0, s.top);
    if (s.bottom > 0 && Meet(rootH - s.bottom, rootH, m.y, m.y + m.h) &&
        Meet(s.bottomStartX, s.bottomEndX + 1L, m.x, m.x + m.w))
      y1 = std::min<long>(y1, rootH - s.bottom);
  }
  if (desktop && desktop->w > 0 && desktop->h > 0) {
    x0 = std::max<long>(x0, desktop->x), y0 = std::max<long>(y0, desktop->y);
    x1 = std::min<long>(x1, long(desktop->x) + desktop->w);
    y1 = std::min<long>(y1, long(desktop->y) + desktop->h);
  }
  if (x1 - x0 < minW || y1 - y0 < minH) return m;
  return {int(x0), int(y0), int(x1 - x0), int(y1 - y0)};
}

}  // namespace plat
