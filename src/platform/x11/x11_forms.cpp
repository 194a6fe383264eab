// Forms as undecorated top-level windows that draw their own caption bar, and controls as child
// windows carrying their caption in WM_NAME.
#include <X11/Xatom.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "platform/x11/x11_forms.h"

namespace plat {
namespace x11 {
namespace {

constexpr Color kCaptionBlue = Rgb(0, 84, 227);
constexpr Color kFrameFace = Rgb(212, 208, 200);
constexpr int kDragThreshold = 4;  // pixels the pointer must travel before a drag starts

// Interprets the window as sending input: pointer and keys on itself and its children.
constexpr long kPointerEvents = ButtonPressMask | ButtonReleaseMask;

std::unordered_map<WindowHandle, FormWindow*>& Windows() {
  static std::unordered_map<WindowHandle, FormWindow*> windows;
  return windows;
}

}  // namespace

FormWindow* FormWindowOf(WindowHandle handle) {
  auto it = Windows().find(handle);
  return it == Windows().end() ? nullptr : it->second;
}

FormWindow::FormWindow(Form& form) : form_(form) {
  Connection& c = X();
  XSetWindowAttributes a{};
  a.background_pixel = PixelOf(form.Style() == FormStyle::FixedSingle ? kFrameFace : form.BackColor);
  a.event_mask = ExposureMask | StructureNotifyMask | kPointerEvents | ButtonMotionMask;
  a.bit_gravity = NorthWestGravity;
  outer_ = XCreateWindow(c.dpy, c.root, 0, 0, 1, 1, 0, c.depth, InputOutput, c.visual,
                         CWBackPixel | CWEventMask | CWBitGravity, &a);
  a.background_pixel = PixelOf(form.BackColor);
  a.event_mask = kPointerEvents;
  client_ = XCreateWindow(c.dpy, outer_, form.ClientOffsetX(), form.ClientOffsetY(), 1, 1, 0,
                          c.depth, InputOutput, c.visual, CWBackPixel | CWEventMask, &a);
  XMapWindow(c.dpy, client_);
  Route(outer_, this);
  Route(client_, this);
  Windows()[outer_] = this;

  // No window-manager decoration: the form draws its own caption bar.
  long motif[5] = {2, 0, 0, 0, 0};
  XChangeProperty(c.dpy, outer_, c.atom.motifWmHints, c.atom.motifWmHints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(motif), 5);
  XChangeProperty(c.dpy, outer_, c.atom.wmProtocols, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&c.atom.wmDeleteWindow), 1);
  long pid = getpid();
  XChangeProperty(c.dpy, outer_, c.atom.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
  Atom type = c.atom.netWmWindowTypeNormal;
  XChangeProperty(c.dpy, outer_, c.atom.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&type), 1);
  XClassHint cls{const_cast<char*>("zorvane"), const_cast<char*>("Zorvane")};
  XSetClassHint(c.dpy, outer_, &cls);
  SetRole(outer_, form.DesignName());
  SetRole(client_, form.DesignName() + ".client");
}

FormWindow::~FormWindow() {
  Windows().erase(outer_);
  Unroute(outer_);
  Unroute(client_);
  XDestroyWindow(X().dpy, outer_);
}

void FormWindow::SetText(const std::string& caption) { SetWindowText(outer_, caption); }

void FormWindow::UpdateHints() {
  XSizeHints h{};
  h.flags = USPosition | USSize | PMinSize | PMaxSize;
  h.x = bounds_.x;
  h.y = bounds_.y;
  h.width = h.min_width = h.max_width = bounds_.w;
  h.height = h.min_height = h.max_height = bounds_.h;
  XSetWMNormalHints(X().dpy, outer_, &h);
}

void FormWindow::SetBounds(const PixelRect& r) {
  const int w = std::max(1, r.w), h = std::max(1, r.h);
  const bool resized = w != bounds_.w || h != bounds_.h;
  bounds_ = {r.x, r.y, w, h};
  UpdateHints();
  XMoveResizeWindow(X().dpy, outer_, r.x, r.y, static_cast<unsigned>(w), static_cast<unsigned>(h));
  if (resized)
    XResizeWindow(X().dpy, client_, static_cast<unsigned>(std::max(1, w - 2 * form_.ClientOffsetX())),
                  static_cast<unsigned>(std::max(1, h - form_.ClientOffsetY() - form_.ClientOffsetX())));
}

void FormWindow::Show() {
  if (shown_) return;
  shown_ = true;
  XMapRaised(X().dpy, outer_);
}

void FormWindow::Hide() {
  shown_ = false;
  XUnmapWindow(X().dpy, outer_);
}

void FormWindow::RunModal() {
  // The peer dies when the form unloads, so ask the form, not ourselves.
  Form& form = form_;
  FormWindow* self = this;
  RunModalLoop(outer_, [&form, self] { return form.Peer() != self; });
}

void FormWindow::DrawFrame() {
  if (form_.Style() != FormStyle::FixedSingle) return;
  Display* d = X().dpy;
  GC gc = XCreateGC(d, outer_, 0, nullptr);
  XSetForeground(d, gc, PixelOf(kCaptionBlue));
  XFillRectangle(d, outer_, gc, 0, 0, static_cast<unsigned>(bounds_.w),
                 static_cast<unsigned>(form_.ClientOffsetY()));
  XFreeGC(d, gc);
}

void FormWindow::HandleEvent(XEvent& ev) {
  switch (ev.type) {
    case Expose:
      if (ev.xexpose.window == outer_ && ev.xexpose.count == 0) DrawFrame();
      break;
    case ConfigureNotify:
      TrackPosition(ev.xconfigure);
      break;
    case ButtonPress:
      if (ev.xbutton.window == outer_) StartDrag(ev.xbutton);
      else ClientButton(ev.xbutton, true);
      break;
    case ButtonRelease:
      if (ev.xbutton.window == outer_) dragPending_ = dragging_ = false;
      else ClientButton(ev.xbutton, false);
      break;
    case MotionNotify:
      if (ev.xmotion.window == outer_) Drag(ev.xmotion);
      break;
    case ClientMessage:
      if (static_cast<Atom>(ev.xclient.data.l[0]) == X().atom.wmDeleteWindow) form_.QueryUnload();
      break;
    default:
      break;
  }
}

void FormWindow::TrackPosition(const XConfigureEvent& e) {
  int x = e.x, y = e.y;
  if (!e.send_event) {
    // A real ConfigureNotify is relative to the parent, which is a frame under a window manager.
    Window child;
    XTranslateCoordinates(X().dpy, outer_, X().root, 0, 0, &x, &y, &child);
  }
  if (x != bounds_.x || y != bounds_.y) {
    bounds_.x = x;
    bounds_.y = y;
    form_.NativeMoved(x, y);
  }
}

void FormWindow::StartDrag(const XButtonEvent& e) {
  if (e.button != Button1) return;
  dragPending_ = true;
  dragging_ = false;
  pressX_ = e.x_root;
  pressY_ = e.y_root;
  startX_ = bounds_.x;
  startY_ = bounds_.y;
}

void FormWindow::Drag(const XMotionEvent& e) {
  if (dragging_) {
    form_.Move(double(startX_ + e.x_root - pressX_) * 15, double(startY_ + e.y_root - pressY_) * 15);
    return;
  }
  if (!dragPending_) return;
  if (std::abs(e.x_root - pressX_) < kDragThreshold && std::abs(e.y_root - pressY_) < kDragThreshold)
    return;
  dragPending_ = false;
  if (!WindowManagerRunning()) {
    dragging_ = true;  // nobody else will move us
    form_.Move(double(startX_ + e.x_root - pressX_) * 15, double(startY_ + e.y_root - pressY_) * 15);
    return;
  }
  // Hand the move to the window manager, which tracks the pointer from here on.
  Display* d = X().dpy;
  XUngrabPointer(d, CurrentTime);
  XEvent m{};
  m.xclient.type = ClientMessage;
  m.xclient.window = outer_;
  m.xclient.message_type = X().atom.netWmMoveResize;
  m.xclient.format = 32;
  // From where the button went down, so the window catches up with the pointer at once.
  m.xclient.data.l[0] = pressX_;
  m.xclient.data.l[1] = pressY_;
  m.xclient.data.l[2] = 8;  // _NET_WM_MOVERESIZE_MOVE
  m.xclient.data.l[3] = Button1;
  m.xclient.data.l[4] = 1;  // from an application
  XSendEvent(d, X().root, False, SubstructureRedirectMask | SubstructureNotifyMask, &m);
  XFlush(d);
}

void FormWindow::ClientButton(const XButtonEvent& e, bool press) {
  int button = ButtonCode(e.button);
  if (!button) return;
  float x = float(e.x) * 15, y = float(e.y) * 15;
  if (press) {
    if (Clicks().IsDoubleClick(e)) {
      if (form_.DblClick) form_.DblClick();
    }
  } else if (form_.MouseUp) {
    form_.MouseUp(button, ShiftCode(e.state), x, y);
  }
}

// ---- controls ----

ChildWindow::ChildWindow(Control& control, Color background, long events) : control_(control) {
  FormWindow* parent = FormWindowOf(control.Owner().hWnd());
  Connection& c = X();
  XSetWindowAttributes a{};
  a.background_pixel = PixelOf(background);
  a.event_mask = events;
  a.bit_gravity = NorthWestGravity;
  topLevel_ = parent ? parent->Outer() : c.root;
  window_ = XCreateWindow(c.dpy, parent ? parent->Client() : c.root, 0, 0, 1, 1, 0, c.depth,
                          InputOutput, c.visual, CWBackPixel | CWEventMask | CWBitGravity, &a);
  SetRole(window_, control.DesignName());
  Route(window_, this);
}

ChildWindow::~ChildWindow() {
  Unroute(window_);
  XDestroyWindow(X().dpy, window_);
}

void ChildWindow::SetBounds(const PixelRect& r) {
  width_ = std::max(1, r.w);
  height_ = std::max(1, r.h);
  XMoveResizeWindow(X().dpy, window_, r.x, r.y, static_cast<unsigned>(width_),
                    static_cast<unsigned>(height_));
}

void ChildWindow::SetVisible(bool visible) {
  if (visible) XMapWindow(X().dpy, window_);
  else XUnmapWindow(X().dpy, window_);
}

void ChildWindow::SetText(const std::string& text) { SetWindowText(window_, text); }

void ChildWindow::HandleEvent(XEvent& ev) {
  if (ev.type == Expose) {
    if (ev.xexpose.count == 0) Paint();
    return;
  }
  if (ev.type != ButtonPress && ev.type != ButtonRelease) return;
  const XButtonEvent& e = ev.xbutton;
  int button = ButtonCode(e.button);
  if (!button) return;
  float x = float(e.x) * 15, y = float(e.y) * 15;
  if (ev.type == ButtonPress) {
    pressed_ |= button;
    if (Clicks().IsDoubleClick(e)) {
      doubled_ = true;
      if (control_.DblClick) control_.DblClick();
    } else {
      doubled_ = false;
      if (control_.MouseDown) control_.MouseDown(button, ShiftCode(e.state), x, y);
    }
    return;
  }
  // A release whose press went elsewhere (to a modal window that has since closed) is not ours.
  if (!(pressed_ & button)) return;
  pressed_ &= ~button;
  if (control_.MouseUp) control_.MouseUp(button, ShiftCode(e.state), x, y);
  if (button == kLeftButton && !doubled_ && control_.Click) control_.Click();
}

LabelWindow::LabelWindow(Label& label)
    : ChildWindow(label, label.BackColor, ExposureMask | ButtonPressMask | ButtonReleaseMask),
      label_(label) {}

LabelWindow::~LabelWindow() {
  if (draw_) XftDrawDestroy(draw_);
}

void LabelWindow::SetText(const std::string& text) {
  ChildWindow::SetText(text);
  Paint();  // at once, rather than after an Expose round trip
}

void LabelWindow::Paint() {
  Display* d = X().dpy;
  // Antialiased text drawn twice over itself turns heavier: always start from the background.
  XClearWindow(d, Window());
  if (label_.Border) {
    GC gc = XCreateGC(d, Window(), 0, nullptr);
    XSetForeground(d, gc, PixelOf(label_.ForeColor));
    XDrawRectangle(d, Window(), gc, 0, 0, static_cast<unsigned>(Width() - 1),
                   static_cast<unsigned>(Height() - 1));
    XFreeGC(d, gc);
  }
  const std::string& text = label_.Caption();
  if (text.empty()) return;
  XftFont* font = FontFor(label_.Font);
  if (!font) return;
  if (!draw_) draw_ = XftDrawCreate(d, Window(), X().visual, X().colormap);
  XGlyphInfo ext{};
  auto bytes = reinterpret_cast<const FcChar8*>(text.data());
  XftTextExtentsUtf8(d, font, bytes, static_cast<int>(text.size()), &ext);
  int x = 1;
  if (label_.TextAlign == Alignment::Center) x = (Width() - ext.xOff) / 2;
  else if (label_.TextAlign == Alignment::Right) x = Width() - ext.xOff - 1;
  int y = (Height() - (font->ascent + font->descent)) / 2 + font->ascent;
  XftDrawStringUtf8(draw_, XftColorOf(label_.ForeColor), font, x, y, bytes,
                    static_cast<int>(text.size()));
}

LineWindow::LineWindow(Line& line) : ChildWindow(line, line.BorderColor, 0) {}

}  // namespace x11

std::unique_ptr<FormPeer> NewFormPeer(Form& form) { return std::make_unique<x11::FormWindow>(form); }
std::unique_ptr<ControlPeer> NewLabelPeer(Label& label) {
  return std::make_unique<x11::LabelWindow>(label);
}
std::unique_ptr<ControlPeer> NewLinePeer(Line& line) { return std::make_unique<x11::LineWindow>(line); }

}  // namespace plat
