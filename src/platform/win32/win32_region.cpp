// Cutting a window to a polygon, at the window's scale.
#include <windows.h>

#include <algorithm>
#include <climits>
#include <map>
#include <vector>

#include "platform/common/polygon_rows.h"
#include "platform/region.h"
#include "platform/win32/win32_scale.h"

namespace plat {
namespace {

// A polygon in logical pixels, kept until a window takes it: only then is its scale known.
struct Polygon {
  std::vector<Point> points;
  int fillMode = kAlternate;
};

// Each window's polygon, to cut again when the window moves to a monitor of another scale.
std::map<HWND, Polygon>& WindowPolygons() {
  static auto* kept = new std::map<HWND, Polygon>;
  return *kept;
}

// At 96 dpi the system's own polygon region, as the program always had; at other scales the
// pixel rule run again at device resolution, so the edges are as sharp as the device's pixels
// (a 96-dpi region blown up would step in whole logical pixels).
HRGN RegionAtScale(const Polygon& p, const DisplayScale& scale) {
  if (scale.IsOne()) {
    std::vector<POINT> pts;
    for (const Point& q : p.points) pts.push_back({LONG(q.x), LONG(q.y)});
    return ::CreatePolygonRgn(pts.data(), int(pts.size()), p.fillMode == kAlternate ? ALTERNATE : WINDING);
  }
  const std::vector<PixelSpan> spans = DeviceSpans(p.points, scale);
  std::vector<char> data(sizeof(RGNDATAHEADER) + spans.size() * sizeof(RECT));
  auto* head = reinterpret_cast<RGNDATAHEADER*>(data.data());
  auto* rects = reinterpret_cast<RECT*>(data.data() + sizeof(RGNDATAHEADER));
  RECT bound{LONG_MAX, LONG_MAX, LONG_MIN, LONG_MIN};
  for (size_t i = 0; i < spans.size(); ++i) {
    const PixelSpan& s = spans[i];
    rects[i] = {s.x, s.y, s.x + s.width, s.y + 1};
    bound = {std::min(bound.left, rects[i].left), std::min(bound.top, rects[i].top),
             std::max(bound.right, rects[i].right), std::max(bound.bottom, rects[i].bottom)};
  }
  *head = {sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(spans.size()), 0,
           spans.empty() ? RECT{} : bound};
  return ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<RGNDATA*>(data.data()));
}

}  // namespace

RegionHandle CreatePolygonRgn(const Point* points, int count, int fillMode) {
  if (!points || count < 3) return 0;
  return reinterpret_cast<RegionHandle>(new Polygon{{points, points + count}, fillMode});
}

int SetWindowRgn(WindowHandle window, RegionHandle region, bool redraw) {
  auto* polygon = reinterpret_cast<Polygon*>(region);
  if (!polygon) return ::SetWindowRgn(reinterpret_cast<HWND>(window), nullptr, redraw);
  const HWND hwnd = reinterpret_cast<HWND>(window);
  WindowPolygons()[hwnd] = *polygon;
  delete polygon;  // the window has it now, as Windows takes over a region
  return ::SetWindowRgn(hwnd, RegionAtScale(WindowPolygons()[hwnd], win32::ScaleOfWindow(hwnd)),
                        redraw);
}

namespace win32 {

void CutRegionAgain(HWND window) {
  auto it = WindowPolygons().find(window);
  if (it != WindowPolygons().end())
    ::SetWindowRgn(window, RegionAtScale(it->second, ScaleOfWindow(window)), TRUE);
}

void ForgetRegion(HWND window) { WindowPolygons().erase(window); }

}  // namespace win32
}  // namespace plat
