// Cutting a window to a polygon: the Shape extension, from our own pixel rule.
#include <X11/Xatom.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <vector>

#include "platform/common/polygon_rows.h"
#include "platform/region.h"
#include "platform/x11/x11_forms.h"

namespace plat {

using x11::Server;

RegionHandle CreatePolygonRgn(const Point* points, int count, int) {
  if (!points || count < 3) return 0;
  return reinterpret_cast<RegionHandle>(new std::vector<Point>(points, points + count));
}

int SetWindowRgn(WindowHandle window, RegionHandle region, bool) {
  auto* polygon = reinterpret_cast<std::vector<Point>*>(region);
  x11::FormWindow* form = x11::FormWindowOf(window);
  int ok = 0;
  if (form && polygon) {
    std::vector<XRectangle> rects;
    for (const PixelSpan& s : DeviceSpans(*polygon, x11::Scale()))
      rects.push_back({static_cast<short>(s.x), static_cast<short>(s.y),
                       static_cast<unsigned short>(s.width), 1});
    for (int kind : {ShapeBounding, ShapeInput})
      XShapeCombineRectangles(Server().dpy, form->Outer(), kind, 0, 0, rects.data(),
                              static_cast<int>(rects.size()), ShapeSet, YXBanded);
    // Frame extents of its own, if none: the shape is all there is to the window. mutter puts its
    // shadow under a shaped window without alpha otherwise, a dark rim around the triangle.
    long noExtents[4] = {0, 0, 0, 0};
    XChangeProperty(Server().dpy, form->Outer(), Server().atom.gtkFrameExtents, XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<unsigned char*>(noExtents), 4);
    // A window with alpha tells the compositor what of it is opaque: all the shape holds. mutter
    // otherwise blends the whole window on every frame it changes, several times xclock's cost.
    if (form->Look().alpha) {
      std::vector<long> opaque;
      for (const XRectangle& r : rects) opaque.insert(opaque.end(), {r.x, r.y, r.width, r.height});
      XChangeProperty(Server().dpy, form->Outer(), Server().atom.netWmOpaqueRegion, XA_CARDINAL, 32,
                      PropModeReplace, reinterpret_cast<unsigned char*>(opaque.data()),
                      static_cast<int>(opaque.size()));
    }
    int right = 0, bottom = 0;
    for (const Point& p : *polygon) {
      right = std::max(right, static_cast<int>(p.x));
      bottom = std::max(bottom, static_cast<int>(p.y));
    }
    const PixelRect box = x11::Scale().ToDevice(PixelRect{0, 0, right, bottom});
    form->ClipToShape(box.w, box.h);
    ok = 1;
  } else if (form) {
    // No region: the whole window again, as on Windows.
    for (int kind : {ShapeBounding, ShapeInput})
      XShapeCombineMask(Server().dpy, form->Outer(), kind, 0, 0, None, ShapeSet);
    XDeleteProperty(Server().dpy, form->Outer(), Server().atom.netWmOpaqueRegion);
    form->ClipToShape(0, 0);
    ok = 1;
  }
  delete polygon;  // the window has it now; the region object itself is done with
  return ok;
}

}  // namespace plat
