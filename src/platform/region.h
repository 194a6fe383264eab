// Window regions in the Win32 call shapes: a polygon region handed to a window.
#pragma once
#include "platform/handles.h"

namespace plat {

struct Point {
  long x;
  long y;
};

inline constexpr int kAlternate = 1;

RegionHandle CreatePolygonRgn(const Point* points, int count, int fillMode);
// The window takes the region over: the caller must not use or delete it afterwards.
int SetWindowRgn(WindowHandle window, RegionHandle region, bool redraw);

}  // namespace plat
