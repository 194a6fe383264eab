// Cutting a window to a polygon.
#include <windows.h>

#include <vector>

#include "platform/region.h"

namespace plat {

RegionHandle CreatePolygonRgn(const Point* points, int count, int fillMode) {
  std::vector<POINT> p;
  for (int i = 0; i < count; ++i) p.push_back({LONG(points[i].x), LONG(points[i].y)});
  return reinterpret_cast<RegionHandle>(::CreatePolygonRgn(p.data(), count, fillMode));
}

int SetWindowRgn(WindowHandle window, RegionHandle region, bool redraw) {
  return ::SetWindowRgn(reinterpret_cast<HWND>(window), reinterpret_cast<HRGN>(region), redraw);
}

}  // namespace plat
