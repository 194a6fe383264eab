// The frame and caption bar a form draws itself, as Windows draws a fixed single frame, with its
// close box; and the drag by the caption, which a window manager takes over where there is one.
#include <cstdlib>

#include "platform/app.h"
#include "platform/x11/x11_draw.h"
#include "platform/x11/x11_forms.h"

namespace plat::x11 {
namespace {

constexpr int kDragThreshold = 4;  // logical pixels the pointer must travel before a drag starts

}  // namespace

bool DrawsFrame(const Form& f) {
  return f.Style() != FormStyle::Borderless && f.Style() != FormStyle::SystemDialog;
}
int FrameX(const Form& f) { return DrawsFrame(f) ? 3 : 0; }
int CaptionY(const Form& f) { return DrawsFrame(f) ? 22 : 0; }

// The close box sits at the right end of the caption bar, as on Windows. Device pixels.
bool FormWindow::InCloseBox(int x, int y) const {
  const int w = logical_.w;
  return DrawsFrame(form_) && x >= Dev(w - 21) && x < Dev(w - 5) &&
         y >= Dev(5) && y < Dev(19);
}

void FormWindow::DrawFrame() {
  if (!DrawsFrame(form_)) return;
  Display* d = Server().dpy;
  GC gc = XCreateGC(d, outer_, 0, nullptr);
  // Drawn in logical pixels: each rectangle covers the device pixels of its logical ones.
  auto fill = [&](Color c, int x, int y, int w, int h) {
    const PixelRect r = Scale().ToDevice(PixelRect{x, y, w, h});
    XSetForeground(d, gc, look_.Pixel(c));
    XFillRectangle(d, outer_, gc, r.x, r.y, unsigned(r.w), unsigned(r.h));
  };
  const int w = logical_.w, h = logical_.h;
  // Raised frame edge, then the caption bar.
  fill(kFace, 0, 0, w, h);
  fill(kHighlight, 1, 1, w - 2, 1);
  fill(kHighlight, 1, 1, 1, h - 2);
  fill(kDarkShadow, 0, h - 1, w, 1);
  fill(kDarkShadow, w - 1, 0, 1, h);
  fill(kCaptionBlue, 0, 0, w, CaptionY(form_));
  // Close box: a raised square with a cross.
  const int bx = w - 21, by = 5;
  const Color light = closePressed_ ? kDarkShadow : kHighlight;
  const Color dark = closePressed_ ? kHighlight : kDarkShadow;
  fill(kFace, bx, by, 16, 14);
  fill(light, bx, by, 16, 1);
  fill(light, bx, by, 1, 14);
  fill(dark, bx, by + 13, 16, 1);
  fill(dark, bx + 15, by, 1, 14);
  XSetForeground(d, gc, look_.Pixel(kBlack));
  XSetLineAttributes(d, gc, unsigned(Scale().Length(2)), LineSolid, CapButt, JoinMiter);
  XDrawLine(d, outer_, gc, Dev(bx + 5), Dev(by + 4), Dev(bx + 11), Dev(by + 10));
  XDrawLine(d, outer_, gc, Dev(bx + 11), Dev(by + 4), Dev(bx + 5), Dev(by + 10));
  XFreeGC(d, gc);
  if (XftFont* f = FontFor({"Tahoma", 8.25, true}); f && !form_.Caption().empty()) {
    if (!captionDraw_) captionDraw_ = XftDrawCreate(d, outer_, look_.visual, look_.colormap);
    const std::string& t = form_.Caption();
    XftDrawStringUtf8(captionDraw_, XftColorOf(look_, kHighlight), f, Dev(6),
                      (Dev(CaptionY(form_)) - (f->ascent + f->descent)) / 2 + f->ascent,
                      reinterpret_cast<const FcChar8*>(t.data()), int(t.size()));
  }
}

void FormWindow::StartDrag(const XButtonEvent& e) {
  if (e.button != Button1) return;
  handedOver_ = false;  // a new press: any earlier move has ended
  if (InCloseBox(e.x, e.y)) {
    closePressed_ = true;
    DrawFrame();
    return;
  }
  if (e.y >= Dev(CaptionY(form_))) return;  // the frame, not the caption bar
  dragPending_ = true;
  dragging_ = false;
  pressX_ = e.x_root;
  pressY_ = e.y_root;
  startX_ = bounds_.x;
  startY_ = bounds_.y;
  // A Wayland compositor runs the move from wherever its own pointer is when the request comes,
  // and puts back a window that moves itself: waiting for the threshold would leave the window
  // behind by it. There the move is handed over at once, unless the button is already up (a
  // tap): the compositor would start a move that no release ends.
  if (Server().xwayland && WindowManagerRunning() && Button1Held()) {
    dragPending_ = false;
    HandMoveToManager(e.x_root, e.y_root);
  }
}

bool FormWindow::Button1Held() const {
  Window rootRet, child;
  int rx, ry, wx, wy;
  unsigned mask = 0;
  return XQueryPointer(Server().dpy, outer_, &rootRet, &child, &rx, &ry, &wx, &wy, &mask) &&
         (mask & Button1Mask);
}

void FormWindow::Drag(const XMotionEvent& e) {
  auto follow = [&] {
    const int x = Logical(startX_ + e.x_root - pressX_ - OriginX());
    const int y = Logical(startY_ + e.y_root - pressY_ - OriginY());
    form_.Move(double(x) * TwipsPerPixelX(), double(y) * TwipsPerPixelY());
    form_.NativeMoved(x, y, true);  // the user put it there
  };
  if (dragging_) {
    follow();
    return;
  }
  if (!dragPending_) return;
  if (std::abs(e.x_root - pressX_) < Dev(kDragThreshold) &&
      std::abs(e.y_root - pressY_) < Dev(kDragThreshold))
    return;
  dragPending_ = false;
  if (!WindowManagerRunning()) {
    dragging_ = true;  // nobody else will move us
    follow();
    return;
  }
  // Catch up with the pointer first, then hand the move to the window manager from where the
  // pointer is now. A button already up (the clock was slow to read the motion) would leave the
  // manager moving the window with no press to end it: then the clock follows the queued motion
  // itself, up to the release.
  follow();
  if (Button1Held()) HandMoveToManager(e.x_root, e.y_root);
  else dragging_ = true;
}

// _NET_WM_MOVERESIZE: the manager moves the window with the pointer from (x_root, y_root) until
// the button is released.
void FormWindow::HandMoveToManager(int x_root, int y_root) {
  handedOver_ = true;
  XUngrabPointer(Server().dpy, CurrentTime);
  SendMoveResize(8, x_root, y_root, Button1);  // _NET_WM_MOVERESIZE_MOVE, by the left button
  XFlush(Server().dpy);
}

// A _NET_WM_MOVERESIZE request for this window to the window manager, from an application. A
// cancel names no button: KWin takes one as a request to move.
void FormWindow::SendMoveResize(long action, int x_root, int y_root, unsigned button) {
  XEvent m{};
  m.xclient.type = ClientMessage;
  m.xclient.window = outer_;
  m.xclient.message_type = Server().atom.netWmMoveResize;
  m.xclient.format = 32;
  m.xclient.data.l[0] = x_root;
  m.xclient.data.l[1] = y_root;
  m.xclient.data.l[2] = action;
  m.xclient.data.l[3] = long(button);
  m.xclient.data.l[4] = 1;  // from an application
  XSendEvent(Server().dpy, Server().root, False, SubstructureRedirectMask | SubstructureNotifyMask,
             &m);
}

// A release that reaches us after the move was handed over came before the manager took the
// pointer: the move it starts would follow the pointer with no button to end it, so it is called
// off (_NET_WM_MOVERESIZE_CANCEL).
void FormWindow::EndHandedMove() {
  if (!handedOver_) return;
  handedOver_ = false;
  SendMoveResize(11, 0, 0, 0);  // _NET_WM_MOVERESIZE_CANCEL
}

}  // namespace plat::x11
