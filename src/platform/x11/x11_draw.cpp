#include "platform/x11/x11_draw.h"

#include <algorithm>
#include <cstdlib>

namespace plat::x11 {

void PlainLine(const Surface& s, ::Window w, GC gc, Color c, int x1, int y1, int x2, int y2) {
  XSetForeground(Server().dpy, gc, s.Pixel(c));
  XDrawLine(Server().dpy, w, gc, x1, y1, x2, y2);
}

void Bar(const Surface& s, ::Window w, GC gc, Color c, int x1, int y1, int x2, int y2, bool farEdge) {
  if (Scale().IsOne()) return PlainLine(s, w, gc, c, x1, y1, x2, y2);
  const int t = Scale().Length(1);
  const int x = std::min(x1, x2), y = std::min(y1, y2);
  const int left = x1 == x2 && farEdge ? std::max(0, x - t + 1) : x;
  const int top = y1 == y2 && farEdge ? std::max(0, y - t + 1) : y;
  XSetForeground(Server().dpy, gc, s.Pixel(c));
  XFillRectangle(Server().dpy, w, gc, left, top, unsigned(x1 == x2 ? t : std::abs(x2 - x1) + 1),
                 unsigned(y1 == y2 ? t : std::abs(y2 - y1) + 1));
}

void Edge(const Surface& s, ::Window w, GC gc, int width, int height, bool sunken) {
  const Color tl = sunken ? kDarkShadow : kHighlight, br = sunken ? kHighlight : kDarkShadow;
  const int t = Scale().Length(1);
  Bar(s, w, gc, tl, 0, 0, width - 1, 0);
  Bar(s, w, gc, tl, 0, 0, 0, height - 1);
  Bar(s, w, gc, br, 0, height - 1, width - 1, height - 1, true);
  Bar(s, w, gc, br, width - 1, 0, width - 1, height - 1, true);
  Bar(s, w, gc, kShadow, t, height - 1 - t, width - 1 - t, height - 1 - t, true);
}

}  // namespace plat::x11
