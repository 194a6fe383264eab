// Forms as undecorated top-level windows: their creation, place, size and events. The frame and
// caption bar they draw, and the drag by it, are in x11_frame.cpp; controls in x11_child_windows.cpp
// and x11_controls.cpp.
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
#include "platform/x11/x11_draw.h"

#include "platform/app.h"
#include "platform/image.h"

namespace plat {
namespace x11 {
namespace {

// The mouse buttons pressed and released on a form's own windows (keys come by focus).
constexpr long kPointerEvents = ButtonPressMask | ButtonReleaseMask;

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
  // A handler may move windows; take the list first. A move handed to the manager has ended by
  // now: what the manager does next is its own answer to the change, not the user's drag.
  std::vector<Form*> forms;
  for (auto& [handle, window] : Windows()) {
    window->handedOver_ = false;
    forms.push_back(&window->form_);
  }
  for (Form* f : forms) f->NativeDisplayChanged();
}

FormWindow* FormWindowOf(WindowHandle handle) {
  auto it = Windows().find(handle);
  return it == Windows().end() ? nullptr : it->second;
}

FormWindow::FormWindow(Form& form) : form_(form), look_(SurfaceFor(form.SeeThrough)) {
  Connection& c = Server();
  XSetWindowAttributes a{};
  a.background_pixel = look_.Pixel(form.Style() == FormStyle::FixedSingle ? kFace : form.BackColor);
  // Keys come here from the controls, which do not ask for them (text boxes excepted).
  a.event_mask = ExposureMask | StructureNotifyMask | kPointerEvents | ButtonMotionMask |
                 KeyPressMask | FocusChangeMask;
  a.bit_gravity = NorthWestGravity;
  outer_ = XCreateWindow(c.dpy, c.root, 0, 0, 1, 1, 0, look_.depth, InputOutput, look_.visual,
                         WindowAttributes(look_, a, CWBackPixel | CWEventMask | CWBitGravity), &a);
  parent_ = c.root;
  a.background_pixel = look_.Pixel(form.BackColor);
  a.event_mask = kPointerEvents;
  client_ = XCreateWindow(c.dpy, outer_, Dev(FrameX(form)), Dev(CaptionY(form)), 1, 1, 0,
                          look_.depth, InputOutput, look_.visual,
                          WindowAttributes(look_, a, CWBackPixel | CWEventMask), &a);
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
  if (!destroyed_) XDestroyWindow(Server().dpy, outer_);
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
  XSetWMNormalHints(Server().dpy, outer_, &h);
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
  if (swayTries_ && shown_) {
    // sway centres a shown window again at any request to move or size it, one that reaches it
    // while the window is being mapped included: the place goes through its command socket
    // alone, after the re-centring a new size brings, and once the window is mapped.
    if (resized)
      XResizeWindow(Server().dpy, outer_, static_cast<unsigned>(XWidth()),
                    static_cast<unsigned>(XHeight()));
    else
      PlaceOnSway();
  } else {
    XMoveResizeWindow(Server().dpy, outer_, bounds_.x, bounds_.y, static_cast<unsigned>(XWidth()),
                      static_cast<unsigned>(XHeight()));
  }
  if (resized) {
    const int ox = FrameX(form_), oy = CaptionY(form_);
    const PixelRect client = Scale().ToDevice(
        PixelRect{ox, oy, std::max(1, logical_.w - 2 * ox), std::max(1, logical_.h - oy - ox)});
    XResizeWindow(Server().dpy, client_, static_cast<unsigned>(std::max(1, client.w)),
                  static_cast<unsigned>(std::max(1, client.h)));
  }
}

// mutter and KWin push a window that fits the screen back wholly onto it, so an 800 x 800 window
// cut to a 300 x 225 triangle would land elsewhere near the right and bottom edges; sway shows
// the whole box. The client area and the controls keep their places: only the outer window is
// smaller, and what lay beyond the shape was never seen.
// Until the window is mapped sway has no container to move; it maps it at the centre, and is
// asked once the window shows, or at its next configures if the container came later.
// The answer comes later, from the loop; the same place is not asked for again meanwhile.
void FormWindow::PlaceOnSway() {
  if (swayTries_ <= 0 || !mapped_) return;
  const PixelRect d = Scale().ToDevice(logical_);
  const PixelRect wanted{d.x + OriginX(), d.y + OriginY(), 0, 0};
  if (swayAsked_ && *swayAsked_ == wanted) return;
  swayAsked_ = wanted;
  AskSwayToPlace(outer_, wanted.x, wanted.y);
}

void FormWindow::SwayPlaced(bool ok) {
  swayAsked_.reset();
  swayTries_ = ok ? 0 : swayTries_ - 1;
}

void FormWindow::ClipToShape(int width, int height) {
  clipW_ = std::max(0, width);
  clipH_ = std::max(0, height);
  UpdateHints();
  XResizeWindow(Server().dpy, outer_, static_cast<unsigned>(XWidth()), static_cast<unsigned>(XHeight()));
}

void FormWindow::Show() {
  if (shown_) return;
  shown_ = true;
  XMapRaised(Server().dpy, outer_);
}

void FormWindow::RunModal() {
  // The peer dies when the form unloads, so ask the form, not ourselves.
  Form& form = form_;
  FormWindow* self = this;
  RunModalLoop(outer_, [&form, self] { return form.Peer() != self; });
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
    XChangeProperty(Server().dpy, outer_, Server().atom.netWmIcon, XA_CARDINAL, 32, PropModeReplace,
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
      if (focusChild_) XSetInputFocus(Server().dpy, focusChild_, RevertToParent, CurrentTime);
      else if (outer_ != MainWindow()) XSetInputFocus(Server().dpy, outer_, RevertToParent, CurrentTime);
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
        XSetInputFocus(Server().dpy, focusChild_, RevertToParent, CurrentTime);
      break;
    case KeyPress:
      Key(ev.xkey);
      return;  // a handler may have unloaded the form
    case ConfigureNotify:
      TrackPosition(ev.xconfigure);
      PlaceOnSway();
      break;
    case ReparentNotify:
      if (ev.xreparent.window != outer_) break;
      parent_ = ev.xreparent.parent;
      // Given back to the root (its manager quit, or died in the middle of a move): where it
      // stands now, in root coordinates, since no ConfigureNotify may tell it.
      if (parent_ == Server().root) SetPosition(ev.xreparent.x, ev.xreparent.y, false);
      break;
    case ButtonPress:
      if (ev.xbutton.window == outer_) StartDrag(ev.xbutton);
      else ClientButton(ev.xbutton, true);
      break;
    case ButtonRelease:
      if (ev.xbutton.window == outer_) {
        dragPending_ = dragging_ = false;
        EndHandedMove();
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
      if (static_cast<Atom>(ev.xclient.data.l[0]) == Server().atom.wmDeleteWindow) form_.QueryUnload();
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
  if (mapped_ && child) XSetInputFocus(Server().dpy, child, RevertToParent, CurrentTime);
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
  if (!e.send_event && parent_ != Server().root) return;
  SetPosition(e.x, e.y, handedOver_);
}

void FormWindow::SetPosition(int rootX, int rootY, bool byUser) {
  if (rootX == bounds_.x && rootY == bounds_.y) return;
  bounds_.x = rootX;
  bounds_.y = rootY;
  form_.NativeMoved(Logical(rootX - OriginX()), Logical(rootY - OriginY()), byUser);
}

void FormWindow::ClientButton(const XButtonEvent& e, bool press) {
  if (const int button = ButtonCode(e.button))
    form_.NativePointer(nullptr, {press, button, ShiftCode(e.state), Logical(e.x), Logical(e.y),
                                  static_cast<std::uint32_t>(e.time)});
}

}  // namespace x11

std::unique_ptr<FormPeer> NewFormPeer(Form& form) { return std::make_unique<x11::FormWindow>(form); }

}  // namespace plat
