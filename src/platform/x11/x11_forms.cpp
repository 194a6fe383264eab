// Forms as undecorated top-level windows that draw their own caption bar, and controls as child
// windows carrying their caption in WM_NAME.
#include <X11/Xatom.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_atspi.h"

#include "platform/app.h"
#include "platform/image.h"

namespace plat {
namespace x11 {
namespace {

constexpr Color kCaptionBlue = Rgb(0, 84, 227);
constexpr Color kFrameFace = Rgb(212, 208, 200);
constexpr int kDragThreshold = 4;  // logical pixels the pointer must travel before a drag starts

// Interprets the window as sending input: pointer and keys on itself and its children.
constexpr long kPointerEvents = ButtonPressMask | ButtonReleaseMask;

// The frame and caption bar this backend draws itself, as Windows draws a fixed single frame:
// the client area stands 3 logical pixels in and 22 down. A borderless form has none, and a
// system dialog's frame is the window manager's, outside the window.
bool DrawsFrame(const Form& f) {
  return f.Style() != FormStyle::Borderless && f.Style() != FormStyle::SystemDialog;
}
int FrameX(const Form& f) { return DrawsFrame(f) ? 3 : 0; }
int CaptionY(const Form& f) { return DrawsFrame(f) ? 22 : 0; }

// The main form's window: dialogs are transient for it.
::Window MainWindow() {
  const Form* main = Form::MainForm();
  return main ? static_cast<::Window>(main->hWnd()) : 0;
}

std::unordered_map<WindowHandle, FormWindow*>& Windows() {
  static auto* windows = new std::unordered_map<WindowHandle, FormWindow*>;  // outlives static forms
  return *windows;
}

}  // namespace

void NotifyDisplayChange() {
  // A handler may move windows; take the list first.
  std::vector<Form*> forms;
  for (auto& [handle, window] : Windows()) forms.push_back(&window->form_);
  for (Form* f : forms) f->NativeDisplayChanged();
}

FormWindow* FormWindowOf(WindowHandle handle) {
  auto it = Windows().find(handle);
  return it == Windows().end() ? nullptr : it->second;
}

FormWindow::FormWindow(Form& form) : form_(form) {
  Connection& c = X();
  XSetWindowAttributes a{};
  a.background_pixel = PixelOf(form.Style() == FormStyle::FixedSingle ? kFrameFace : form.BackColor);
  // Keys come here from the controls, which do not ask for them (text boxes excepted).
  a.event_mask = ExposureMask | StructureNotifyMask | kPointerEvents | ButtonMotionMask |
                 KeyPressMask | FocusChangeMask;
  a.bit_gravity = NorthWestGravity;
  outer_ = XCreateWindow(c.dpy, c.root, 0, 0, 1, 1, 0, c.depth, InputOutput, c.visual,
                         WindowAttributes(a, CWBackPixel | CWEventMask | CWBitGravity), &a);
  parent_ = c.root;
  a.background_pixel = PixelOf(form.BackColor);
  a.event_mask = kPointerEvents;
  client_ = XCreateWindow(c.dpy, outer_, Dev(FrameX(form)), Dev(CaptionY(form)), 1, 1, 0,
                          c.depth, InputOutput, c.visual,
                          WindowAttributes(a, CWBackPixel | CWEventMask), &a);
  XMapWindow(c.dpy, client_);
  Route(outer_, this);
  Route(client_, this);
  Windows()[outer_] = this;

  // No window-manager decoration: the form draws its own caption bar. A system dialog is the
  // window manager's to frame, and stands on its own, belonging to no window (the program's
  // main window may never show).
  const bool system = form.Style() == FormStyle::SystemDialog;
  if (!system) {
    long motif[5] = {2, 0, 0, 0, 0};
    XChangeProperty(c.dpy, outer_, c.atom.motifWmHints, c.atom.motifWmHints, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(motif), 5);
  }
  XChangeProperty(c.dpy, outer_, c.atom.wmProtocols, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&c.atom.wmDeleteWindow), 1);
  SetTopLevelProperties(outer_);
  Atom type = system ? c.atom.netWmWindowTypeDialog : c.atom.netWmWindowTypeNormal;
  XChangeProperty(c.dpy, outer_, c.atom.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&type), 1);
  SetText(form.Caption());
  SetRole(outer_, form.DesignName());
  SetRole(client_, form.DesignName() + ".client");
  SetIcon();

  if (!system && !form.IsMainForm() && MainWindow()) {
    XSetTransientForHint(c.dpy, outer_, MainWindow());
    Atom dialog = c.atom.netWmWindowTypeDialog;
    XChangeProperty(c.dpy, outer_, c.atom.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&dialog), 1);
  }
}

FormWindow::~FormWindow() {
  atspi::FormGone(form_);
  if (captionDraw_) XftDrawDestroy(captionDraw_);
  Windows().erase(outer_);
  Unroute(outer_);
  Unroute(client_);
  if (!destroyed_) XDestroyWindow(X().dpy, outer_);
}

void FormWindow::SetText(const std::string& caption) {
  // A window without a caption (the About window) still needs a name in task lists.
  SetWindowText(outer_, caption.empty() ? form_.DesignName() : caption);
  if (shown_) DrawFrame();
}

void FormWindow::UpdateHints() {
  XSizeHints h{};
  h.flags = USPosition | USSize | PMinSize | PMaxSize;
  h.x = bounds_.x;
  h.y = bounds_.y;
  h.width = h.min_width = h.max_width = XWidth();
  h.height = h.min_height = h.max_height = XHeight();
  XSetWMNormalHints(X().dpy, outer_, &h);
}

// The rectangle comes in logical pixels relative to the primary monitor; the window gets the
// device pixels that cover it.
void FormWindow::SetBounds(const PixelRect& r) {
  logical_ = {r.x, r.y, std::max(1, r.w), std::max(1, r.h)};
  const PixelRect d = Scale().ToDevice(logical_);
  const int w = std::max(1, d.w), h = std::max(1, d.h);
  const bool resized = w != bounds_.w || h != bounds_.h;
  bounds_ = {d.x + OriginX(), d.y + OriginY(), w, h};
  UpdateHints();
  swayTries_ = OnSway() ? 3 : 0;
  if (swayTries_ && mapped_) {
    // sway centres a shown window again at any request to move or size it: the place goes
    // through its command socket alone, after the re-centring a new size brings.
    if (resized)
      XResizeWindow(X().dpy, outer_, static_cast<unsigned>(XWidth()),
                    static_cast<unsigned>(XHeight()));
    else
      PlaceOnSway();
  } else {
    XMoveResizeWindow(X().dpy, outer_, bounds_.x, bounds_.y, static_cast<unsigned>(XWidth()),
                      static_cast<unsigned>(XHeight()));
  }
  if (resized) {
    const int ox = FrameX(form_), oy = CaptionY(form_);
    const PixelRect client = Scale().ToDevice(
        PixelRect{ox, oy, std::max(1, logical_.w - 2 * ox), std::max(1, logical_.h - oy - ox)});
    XResizeWindow(X().dpy, client_, static_cast<unsigned>(std::max(1, client.w)),
                  static_cast<unsigned>(std::max(1, client.h)));
  }
}

// mutter and KWin push a window that fits the screen back wholly onto it, so an 800 x 800 window
// cut to a 300 x 225 triangle would land elsewhere near the right and bottom edges; sway shows
// the whole box. The client area and the controls keep their places: only the outer window is
// smaller, and what lay beyond the shape was never seen.
// Until the window is mapped sway has no container to move; it maps it at the centre, and is
// asked once the window shows, or at its next configures if the container came later.
void FormWindow::PlaceOnSway() {
  if (swayTries_ <= 0 || !mapped_) return;
  const PixelRect wanted = Scale().ToDevice(logical_);
  swayTries_ = AskSwayToPlace(outer_, wanted.x + OriginX(), wanted.y + OriginY()) ? 0
                                                                                 : swayTries_ - 1;
}

void FormWindow::ClipToShape(int width, int height) {
  clipW_ = std::max(0, width);
  clipH_ = std::max(0, height);
  UpdateHints();
  XResizeWindow(X().dpy, outer_, static_cast<unsigned>(XWidth()), static_cast<unsigned>(XHeight()));
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

// The close box sits at the right end of the caption bar, as on Windows. Device pixels.
bool FormWindow::InCloseBox(int x, int y) const {
  const int w = logical_.w;
  return DrawsFrame(form_) && x >= Dev(w - 21) && x < Dev(w - 5) &&
         y >= Dev(5) && y < Dev(19);
}

void FormWindow::DrawFrame() {
  if (!DrawsFrame(form_)) return;
  Display* d = X().dpy;
  GC gc = XCreateGC(d, outer_, 0, nullptr);
  // Drawn in logical pixels: each rectangle covers the device pixels of its logical ones.
  auto fill = [&](Color c, int x, int y, int w, int h) {
    const PixelRect r = Scale().ToDevice(PixelRect{x, y, w, h});
    XSetForeground(d, gc, PixelOf(c));
    XFillRectangle(d, outer_, gc, r.x, r.y, unsigned(r.w), unsigned(r.h));
  };
  const int w = logical_.w, h = logical_.h;
  // Raised frame edge, then the caption bar.
  fill(kFrameFace, 0, 0, w, h);
  fill(Rgb(255, 255, 255), 1, 1, w - 2, 1);
  fill(Rgb(255, 255, 255), 1, 1, 1, h - 2);
  fill(Rgb(64, 64, 64), 0, h - 1, w, 1);
  fill(Rgb(64, 64, 64), w - 1, 0, 1, h);
  fill(kCaptionBlue, 0, 0, w, CaptionY(form_));
  // Close box: a raised square with a cross.
  const int bx = w - 21, by = 5;
  const Color light = closePressed_ ? Rgb(64, 64, 64) : Rgb(255, 255, 255);
  const Color dark = closePressed_ ? Rgb(255, 255, 255) : Rgb(64, 64, 64);
  fill(kFrameFace, bx, by, 16, 14);
  fill(light, bx, by, 16, 1);
  fill(light, bx, by, 1, 14);
  fill(dark, bx, by + 13, 16, 1);
  fill(dark, bx + 15, by, 1, 14);
  XSetForeground(d, gc, PixelOf(Rgb(0, 0, 0)));
  XSetLineAttributes(d, gc, unsigned(Scale().Length(2)), LineSolid, CapButt, JoinMiter);
  XDrawLine(d, outer_, gc, Dev(bx + 5), Dev(by + 4), Dev(bx + 11), Dev(by + 10));
  XDrawLine(d, outer_, gc, Dev(bx + 11), Dev(by + 4), Dev(bx + 5), Dev(by + 10));
  XFreeGC(d, gc);
  if (XftFont* f = FontFor({"Tahoma", 8.25, true}); f && !form_.Caption().empty()) {
    if (!captionDraw_) captionDraw_ = XftDrawCreate(d, outer_, X().visual, X().colormap);
    const std::string& t = form_.Caption();
    XftDrawStringUtf8(captionDraw_, XftColorOf(Rgb(255, 255, 255)), f, Dev(6),
                      (Dev(CaptionY(form_)) - (f->ascent + f->descent)) / 2 + f->ascent,
                      reinterpret_cast<const FcChar8*>(t.data()), int(t.size()));
  }
}

void FormWindow::SetIcon() {
  if (!form_.Icon.bytes) return;
  std::vector<long> data;
  for (int size : {32, 16}) {
    auto img = DecodeIco(form_.Icon.bytes, form_.Icon.size, size);
    if (!img) continue;
    data.push_back(img->width);
    data.push_back(img->height);
    for (std::uint32_t p : img->pixels) data.push_back(long(p));  // ARGB, as _NET_WM_ICON wants
  }
  if (!data.empty())
    XChangeProperty(X().dpy, outer_, X().atom.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(data.data()), int(data.size()));
}

void FormWindow::HandleEvent(XEvent& ev) {
  switch (ev.type) {
    case Expose:
      if (ev.xexpose.window == outer_ && ev.xexpose.count == 0) DrawFrame();
      break;
    case MapNotify:
      // Dialogs take the keyboard when they appear; without a window manager nobody else
      // would give it to them.
      if (ev.xmap.window != outer_) break;
      mapped_ = true;
      PlaceOnSway();
      atspi::FormShown(form_);
      if (focusChild_) XSetInputFocus(X().dpy, focusChild_, RevertToParent, CurrentTime);
      else if (outer_ != MainWindow()) XSetInputFocus(X().dpy, outer_, RevertToParent, CurrentTime);
      break;
    case UnmapNotify:
      if (ev.xunmap.window == outer_) {
        mapped_ = false;
        atspi::FormHidden(form_);
      }
      break;
    case FocusOut:
      // The keyboard left this window and its controls (Inferior: it moved within them).
      if (ev.xfocus.window == outer_ && ev.xfocus.detail != NotifyInferior &&
          ev.xfocus.detail != NotifyPointer)
        atspi::FormActive(form_, false);
      break;
    case FocusIn:
      if (ev.xfocus.window == outer_ && ev.xfocus.detail != NotifyInferior &&
          ev.xfocus.detail != NotifyPointer)
        atspi::FormActive(form_, true);
      // A window manager focuses the top-level; the keyboard belongs to the focused control.
      if (ev.xfocus.window == outer_ && focusChild_ && ev.xfocus.mode != NotifyUngrab &&
          ev.xfocus.detail != NotifyPointer)
        XSetInputFocus(X().dpy, focusChild_, RevertToParent, CurrentTime);
      break;
    case KeyPress:
      Key(ev.xkey);
      return;  // a handler may have unloaded the form
    case ConfigureNotify:
      TrackPosition(ev.xconfigure);
      PlaceOnSway();
      break;
    case ReparentNotify:
      if (ev.xreparent.window == outer_) parent_ = ev.xreparent.parent;
      break;
    case ButtonPress:
      if (ev.xbutton.window == outer_) StartDrag(ev.xbutton);
      else ClientButton(ev.xbutton, true);
      break;
    case ButtonRelease:
      if (ev.xbutton.window == outer_) {
        dragPending_ = dragging_ = false;
        if (closePressed_) {
          closePressed_ = false;
          DrawFrame();
          if (InCloseBox(ev.xbutton.x, ev.xbutton.y)) {
            form_.QueryUnload();
            return;  // this peer may be gone
          }
        }
      } else {
        ClientButton(ev.xbutton, false);
      }
      break;
    case MotionNotify:
      if (ev.xmotion.window == outer_) Drag(ev.xmotion);
      break;
    case ClientMessage:
      if (static_cast<Atom>(ev.xclient.data.l[0]) == X().atom.wmDeleteWindow) form_.QueryUnload();
      break;
    case DestroyNotify:
      // Destroyed from outside: unload the form as its close box would, and for good even if it
      // would rather stay, since its window is gone. A modal wait on it ends with the unload,
      // and the next Show makes a new window.
      if (ev.xdestroywindow.window == outer_) {
        destroyed_ = true;
        Form& form = form_;
        const FormPeer* self = this;
        form.QueryUnload();
        if (form.Peer() == self) form.Unload();
        return;  // this peer is gone
      }
      break;
    default:
      break;
  }
}

void FormWindow::FocusChild(::Window child) {
  focusChild_ = child;
  if (mapped_ && child) XSetInputFocus(X().dpy, child, RevertToParent, CurrentTime);
}

void FormWindow::Key(XKeyEvent& e) {
  const KeySym sym = XLookupKeysym(&e, 0);
  std::optional<plat::Key> key;
  switch (sym) {
    case XK_Tab: case XK_ISO_Left_Tab: key = plat::Key::Tab; break;
    case XK_space: key = plat::Key::Space; break;
    case XK_Return: case XK_KP_Enter: key = plat::Key::Enter; break;
    case XK_Escape: key = plat::Key::Escape; break;
    case XK_Left: case XK_KP_Left: key = plat::Key::Left; break;
    case XK_Right: case XK_KP_Right: key = plat::Key::Right; break;
    case XK_Up: case XK_KP_Up: key = plat::Key::Up; break;
    case XK_Down: case XK_KP_Down: key = plat::Key::Down; break;
    default: return;
  }
  form_.NativeKey(*key, ShiftCode(e.state));
}

void FormWindow::TrackPosition(const XConfigureEvent& e) {
  // Root coordinates come from the window manager's synthetic events, or from real ones while
  // the root is our parent. Real ones inside a frame are relative to the frame, and reading the
  // position back while the manager is still reparenting can give the frame's first (0,0).
  if (!e.send_event && parent_ != X().root) return;
  if (e.x != bounds_.x || e.y != bounds_.y) {
    bounds_.x = e.x;
    bounds_.y = e.y;
    form_.NativeMoved(Logical(e.x - OriginX()), Logical(e.y - OriginY()));
  }
}

void FormWindow::StartDrag(const XButtonEvent& e) {
  if (e.button != Button1) return;
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
  if (X().xwayland && WindowManagerRunning() && Button1Held()) {
    dragPending_ = false;
    HandMoveToManager(e.x_root, e.y_root);
  }
}

bool FormWindow::Button1Held() const {
  Window rootRet, child;
  int rx, ry, wx, wy;
  unsigned mask = 0;
  return XQueryPointer(X().dpy, outer_, &rootRet, &child, &rx, &ry, &wx, &wy, &mask) &&
         (mask & Button1Mask);
}

void FormWindow::Drag(const XMotionEvent& e) {
  auto follow = [&] {
    form_.Move(double(Logical(startX_ + e.x_root - pressX_ - OriginX())) * TwipsPerPixelX(),
               double(Logical(startY_ + e.y_root - pressY_ - OriginY())) * TwipsPerPixelY());
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
  // pointer is now.
  follow();
  HandMoveToManager(e.x_root, e.y_root);
}

// _NET_WM_MOVERESIZE: the manager moves the window with the pointer from (x_root, y_root) until
// the button is released.
void FormWindow::HandMoveToManager(int x_root, int y_root) {
  Display* d = X().dpy;
  XUngrabPointer(d, CurrentTime);
  XEvent m{};
  m.xclient.type = ClientMessage;
  m.xclient.window = outer_;
  m.xclient.message_type = X().atom.netWmMoveResize;
  m.xclient.format = 32;
  m.xclient.data.l[0] = x_root;
  m.xclient.data.l[1] = y_root;
  m.xclient.data.l[2] = 8;  // _NET_WM_MOVERESIZE_MOVE
  m.xclient.data.l[3] = Button1;
  m.xclient.data.l[4] = 1;  // from an application
  XSendEvent(d, X().root, False, SubstructureRedirectMask | SubstructureNotifyMask, &m);
  XFlush(d);
}

void FormWindow::ClientButton(const XButtonEvent& e, bool press) {
  if (const int button = ButtonCode(e.button))
    form_.NativePointer(nullptr, {press, button, ShiftCode(e.state), Logical(e.x), Logical(e.y),
                                  static_cast<std::uint32_t>(e.time)});
}

// ---- controls ----

ChildWindow::ChildWindow(Control& control, Color background, long events) : control_(control) {
  FormWindow* parent = FormWindowOf(control.Owner().hWnd());
  Connection& c = X();
  XSetWindowAttributes a{};
  a.background_pixel = PixelOf(background);
  // A control that takes the focus gets the keys while it has it, and hands them to its form.
  a.event_mask = events | (control.TakesFocus() ? KeyPressMask : 0);
  a.bit_gravity = NorthWestGravity;
  // The server keeps what a control shows where the form's shape hides it, so a cell that
  // slides into view needs no Expose and no repaint of ours.
  a.backing_store = WhenMapped;
  topLevel_ = parent ? parent->Outer() : c.root;
  window_ = XCreateWindow(
      c.dpy, parent ? parent->Client() : c.root, 0, 0, 1, 1, 0, c.depth, InputOutput, c.visual,
      WindowAttributes(a, CWBackPixel | CWEventMask | CWBitGravity | CWBackingStore), &a);
  SetRole(window_, control.DesignName());
  Route(window_, this);
}

ChildWindow::~ChildWindow() {
  Unroute(window_);
  XDestroyWindow(X().dpy, window_);
}

// Logical pixels in, the device pixels that cover them out.
void ChildWindow::SetBounds(const PixelRect& r) {
  const PixelRect d = Scale().ToDevice(r);
  x_ = d.x;
  y_ = d.y;
  width_ = std::max(1, d.w);
  height_ = std::max(1, d.h);
  XMoveResizeWindow(X().dpy, window_, x_, y_, static_cast<unsigned>(width_),
                    static_cast<unsigned>(height_));
}

void ChildWindow::SetVisible(bool visible) {
  if (visible) XMapWindow(X().dpy, window_);
  else XUnmapWindow(X().dpy, window_);
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
  Display* d = X().dpy;
  // Antialiased text drawn twice over itself turns heavier: always start from the background.
  XClearWindow(d, Window());
  if (label_.Border) {
    GC gc = XCreateGC(d, Window(), 0, nullptr);
    XSetForeground(d, gc, PixelOf(label_.ForeColor));
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
  if (!draw_) draw_ = XftDrawCreate(d, Window(), X().visual, X().colormap);
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
    XftDrawStringUtf8(draw_, XftColorOf(label_.ForeColor), font, x, y,
                      reinterpret_cast<const FcChar8*>(l.data()), int(l.size()));
    y += lineHeight;
  }
}

// Lines are drawing only: an empty input shape lets a press through to what lies beneath.
LineWindow::LineWindow(Line& line) : ChildWindow(line, line.BorderColor, 0) {
  XShapeCombineRectangles(X().dpy, Window(), ShapeInput, 0, 0, nullptr, 0, ShapeSet, Unsorted);
}

}  // namespace x11

std::unique_ptr<FormPeer> NewFormPeer(Form& form) { return std::make_unique<x11::FormWindow>(form); }
std::unique_ptr<ControlPeer> NewLabelPeer(Label& label) {
  return std::make_unique<x11::LabelWindow>(label);
}
std::unique_ptr<ControlPeer> NewLinePeer(Line& line) { return std::make_unique<x11::LineWindow>(line); }

}  // namespace plat
