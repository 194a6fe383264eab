// Controls as child windows of a form's client area, carrying their caption in WM_NAME: the
// common part, and labels and lines.
#include <X11/extensions/shape.h>

#include <string>
#include <vector>

#include "platform/x11/x11_atspi.h"
#include "platform/x11/x11_forms.h"

namespace plat {
namespace x11 {

namespace {
const Surface& LookOf(const FormWindow* parent) { return parent ? parent->Look() : SurfaceFor(false); }
}  // namespace

ChildWindow::ChildWindow(Control& control, Color background, long events)
    : ChildWindow(control, background, events, FormWindowOf(control.Owner().hWnd())) {}

ChildWindow::ChildWindow(Control& control, Color background, long events, FormWindow* parent)
    : control_(control), look_(LookOf(parent)) {
  Connection& c = Server();
  XSetWindowAttributes a{};
  a.background_pixel = look_.Pixel(background);
  // A control that takes the focus gets the keys while it has it, and hands them to its form.
  a.event_mask = events | (control.TakesFocus() ? KeyPressMask : 0);
  a.bit_gravity = NorthWestGravity;
  // The server keeps what a control shows where the form's shape hides it, so a cell that
  // slides into view needs no Expose and no repaint of ours.
  a.backing_store = WhenMapped;
  topLevel_ = parent ? parent->Outer() : c.root;
  window_ = XCreateWindow(
      c.dpy, parent ? parent->Client() : c.root, 0, 0, 1, 1, 0, look_.depth, InputOutput, look_.visual,
      WindowAttributes(look_, a, CWBackPixel | CWEventMask | CWBitGravity | CWBackingStore), &a);
  SetRole(window_, control.DesignName());
  Route(window_, this);
}

ChildWindow::~ChildWindow() {
  Unroute(window_);
  XDestroyWindow(Server().dpy, window_);
}

// Logical pixels in, the device pixels that cover them out.
void ChildWindow::SetBounds(const PixelRect& r) {
  const PixelRect d = Scale().ToDevice(r);
  x_ = d.x;
  y_ = d.y;
  width_ = std::max(1, d.w);
  height_ = std::max(1, d.h);
  XMoveResizeWindow(Server().dpy, window_, x_, y_, static_cast<unsigned>(width_),
                    static_cast<unsigned>(height_));
}

void ChildWindow::SetVisible(bool visible) {
  if (visible) XMapWindow(Server().dpy, window_);
  else XUnmapWindow(Server().dpy, window_);
}

void ChildWindow::SetText(const std::string& text) {
  SetWindowText(window_, text);
  atspi::TextChanged(control_);
}

void ChildWindow::SetFocus(bool focused) {
  focused_ = focused;
  if (FormWindow* form = FormWindowOf(topLevel_)) {
    if (focused) form->FocusChild(window_);
    else if (form->FocusedChild() == window_) form->FocusChild(0);
  }
  FocusShown();
  atspi::FocusChanged(control_, focused);
}

void ChildWindow::HandleEvent(XEvent& ev) {
  switch (ev.type) {
    case Expose:
      if (ev.xexpose.count == 0) Paint();
      break;
    case ButtonPress:
    case ButtonRelease:
      Button(ev.xbutton, ev.type == ButtonPress);
      break;
    case KeyPress:
      Key(ev.xkey);
      break;
    case FocusIn:
    case FocusOut:
      // NotifyPointer only says the pointer happens to be over us while a parent has the focus.
      if ((ev.xfocus.mode == NotifyNormal || ev.xfocus.mode == NotifyWhileGrabbed) &&
          ev.xfocus.detail != NotifyPointer)
        Focus(ev.type == FocusIn);
      break;
    default:
      break;
  }
}

void ChildWindow::Clicked() { control_.UserClicked(); }

void ChildWindow::Key(XKeyEvent& e) {
  if (FormWindow* form = FormWindowOf(topLevel_)) form->Key(e);
}

// The press and release go to the shared pointer rules; this window keeps only what it draws
// (a button shown pressed). Handlers may unload the whole form, and this window with it.
void ChildWindow::Button(const XButtonEvent& e, bool press) {
  const int button = ButtonCode(e.button);
  if (!button) return;
  // The pointer is grabbed by the window pressed, so a release reports where it lies from here.
  const PointerEvent event{press, button, ShiftCode(e.state), Logical(x_ + e.x), Logical(y_ + e.y),
                           static_cast<std::uint32_t>(e.time)};
  if (button == kLeftButton && press != Pressed()) {
    pressed_ = press;
    if (press) Pressed(e);
    PressChanged();
  }
  control_.Owner().NativePointer(&control_, event);
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
  Display* d = Server().dpy;
  // Antialiased text drawn twice over itself turns heavier: always start from the background.
  XClearWindow(d, Window());
  if (label_.Border) {
    GC gc = XCreateGC(d, Window(), 0, nullptr);
    XSetForeground(d, gc, Look().Pixel(label_.ForeColor));
    if (Scale().IsOne()) {
      XDrawRectangle(d, Window(), gc, 0, 0, static_cast<unsigned>(Width() - 1),
                     static_cast<unsigned>(Height() - 1));
    } else {
      // One logical pixel thick: the right and bottom edges are the last device pixels'.
      const unsigned t = unsigned(Scale().Length(1)), w = unsigned(Width()), h = unsigned(Height());
      XRectangle edges[] = {{0, 0, static_cast<unsigned short>(w), static_cast<unsigned short>(t)},
                            {0, 0, static_cast<unsigned short>(t), static_cast<unsigned short>(h)},
                            {0, static_cast<short>(h - t), static_cast<unsigned short>(w), static_cast<unsigned short>(t)},
                            {static_cast<short>(w - t), 0, static_cast<unsigned short>(t), static_cast<unsigned short>(h)}};
      XFillRectangles(d, Window(), gc, edges, 4);
    }
    XFreeGC(d, gc);
  }
  const std::string& text = label_.Caption();
  if (text.empty()) return;
  XftFont* font = FontFor(label_.Font);
  if (!font) return;
  if (!draw_) draw_ = XftDrawCreate(d, Window(), Look().visual, Look().colormap);
  // Text wider than the label wraps at blanks, as a label's caption does on Windows.
  const std::vector<std::string> lines = WrapText(font, text, Width() - 2);
  const int ink = font->ascent + font->descent, lineHeight = ink + Dev(label_.LineGap);
  // One line sits in the middle of the cell; wrapped text starts at the top, each line in the
  // middle of its share of the gap.
  int y = lines.size() == 1 ? (Height() - ink) / 2 + font->ascent
                            : (lineHeight - ink) / 2 + font->ascent;
  for (const std::string& l : lines) {
    const int w = TextWidth(font, l);
    int x = 1;
    if (label_.TextAlign == Alignment::Center) x = (Width() - w) / 2;
    else if (label_.TextAlign == Alignment::Right) x = Width() - w - 1;
    XftDrawStringUtf8(draw_, XftColorOf(Look(), label_.ForeColor), font, x, y,
                      reinterpret_cast<const FcChar8*>(l.data()), int(l.size()));
    y += lineHeight;
  }
}

// Lines are drawing only: an empty input shape lets a press through to what lies beneath.
LineWindow::LineWindow(Line& line) : ChildWindow(line, line.BorderColor, 0) {
  XShapeCombineRectangles(Server().dpy, Window(), ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
}

}  // namespace x11

std::unique_ptr<ControlPeer> NewLabelPeer(Label& label) {
  return std::make_unique<x11::LabelWindow>(label);
}
std::unique_ptr<ControlPeer> NewLinePeer(Line& line) { return std::make_unique<x11::LineWindow>(line); }

}  // namespace plat
