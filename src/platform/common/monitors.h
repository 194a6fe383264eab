// Which monitor is the program's screen, from the list the window system reports.
#pragma once
#include <optional>
#include <vector>

#include "platform/forms.h"

namespace plat {

struct MonitorInfo {
  PixelRect rect;  // in the window system's own (root) coordinates
  bool primary = false;
};

// The monitor marked primary; where none is, the one holding the origin (0,0); nothing where
// no monitor qualifies (the caller then uses the whole screen).
std::optional<PixelRect> PrimaryMonitor(const std::vector<MonitorInfo>& monitors);

// Room a dock or panel keeps for itself along the root window's edges (EWMH's
// _NET_WM_STRUT_PARTIAL, root pixels): a width from each edge, and where along that edge it
// starts and ends (inclusive).
struct Strut {
  int left = 0, right = 0, top = 0, bottom = 0;
  int leftStartY = 0, leftEndY = 0, rightStartY = 0, rightEndY = 0;
  int topStartX = 0, topEndX = 0, bottomStartX = 0, bottomEndX = 0;
};
// A strut from the property's 12 values, or from the older _NET_WM_STRUT's 4, which keep their
// edges whole.
Strut StrutFrom(const long* values, int count, int rootWidth, int rootHeight);

// What a monitor leaves to windows: the monitor less every strut that reaches into it, each cut
// off on its own side. `desktop` (_NET_WORKAREA, where the window manager keeps one and it fits
// this monitor) is a further limit. A work area too small for a `minW` x `minH` box is no use
// for anything: the whole monitor then.
PixelRect WorkAreaOf(const PixelRect& monitor, const std::vector<Strut>& struts, int rootWidth,
                     int rootHeight, const PixelRect* desktop, int minW, int minH);

}  // namespace plat
