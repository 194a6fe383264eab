// What the X11 backend's files share: the connection, atoms, event routing, colours and fonts.
#pragma once
#include <X11/Xft/Xft.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/common/scale.h"
#include "platform/forms.h"

namespace plat::x11 {

struct Atoms {
  Atom wmProtocols, wmDeleteWindow, wmState, wmWindowRole, utf8String, netWmName, netWmPid,
      netWmWindowType, netWmWindowTypeDialog, netWmWindowTypeNormal, netWmMoveResize,
      netSupportingWmCheck, netWmState, netWmStateAbove, motifWmHints, netWmIcon, netWmOpaqueRegion,
      gtkFrameExtents;
};

// A true-colour visual's channels, for packing and unpacking many pixels without looking at the
// masks each time.
class PixelLayout {
 public:
  PixelLayout() = default;
  PixelLayout(const Visual* v, bool withAlpha);
  unsigned long Pack(Color c) const {
    return Place(RedOf(c), r_) | Place(GreenOf(c), g_) | Place(BlueOf(c), b_) | alpha_;
  }
  std::uint32_t Unpack(unsigned long p) const {  // 0xRRGGBB
    return Take(p, r_) << 16 | Take(p, g_) << 8 | Take(p, b_);
  }
  // The image's pixels are 32-bit words in this machine's byte order: rows can be read and
  // written as arrays, not one XGetPixel or XPutPixel call each.
  static bool Direct(const XImage* xi);

 private:
  struct Channel {
    int shift = 0, bits = 8;
  };
  static Channel ChannelOf(unsigned long mask);
  static unsigned long Place(unsigned value, Channel ch) {
    return ch.bits >= 8 ? static_cast<unsigned long>(value) << (ch.bits - 8) << ch.shift
                        : static_cast<unsigned long>(value) >> (8 - ch.bits) << ch.shift;
  }
  static std::uint32_t Take(unsigned long p, Channel ch) {
    const std::uint32_t v = std::uint32_t((p >> ch.shift) & ((1ul << ch.bits) - 1));
    return ch.bits >= 8 ? v >> (ch.bits - 8) : v << (8 - ch.bits);
  }
  Channel r_, g_, b_;
  unsigned long alpha_ = 0;
};

// A visual our windows are made with, its colormap and depth. With alpha, the pixels a window
// leaves transparent show what lies behind it, where a compositor shows windows.
struct Surface {
  Visual* visual = nullptr;
  Colormap colormap = 0;
  int depth = 0;
  bool alpha = false;
  PixelLayout layout;
  unsigned long Pixel(Color c) const { return layout.Pack(c); }  // opaque
};

struct Connection {
  Display* dpy = nullptr;
  int screen = 0;
  Window root = 0;
  // The screen's own visual, and one with alpha where the server has one (else the same).
  // Alpha costs the compositor a blend of the whole window each time it changes, so only the
  // windows that need it have it, and only while a compositor runs (see SurfaceFor).
  Surface opaque, clear;
  bool shapeIgnored = false;  // the compositor shows a window's whole box, whatever its shape
  bool xwayland = false;  // a Wayland compositor's X server: it runs moves from its own pointer
  Atoms atom{};
};

// The X display the program speaks to, its visual and atoms.
Connection& Server();
// The X server went away: says so, stores what the settings still keep, and ends the process.
[[noreturn]] void LostServer();

// The desktop's scale (Xft.dpi / 96), read once at start-up. The program deals in logical
// pixels (15 twips each); everything sent to or read from the X server is in device pixels.
const DisplayScale& Scale();
inline int Dev(int logical) { return Scale().ToDevice(logical); }
inline int Logical(int device) { return Scale().ToLogical(device); }

// Receives the X events of the windows it registered.
class EventTarget {
 public:
  virtual ~EventTarget() = default;
  virtual void HandleEvent(XEvent& event) = 0;
  // The top-level window it belongs to: input to other top-levels is dropped while a modal
  // window is up.
  virtual Window TopLevel() const = 0;
  // A compositor came or went (see CompositedNow).
  virtual void CompositingChanged() {}
};

void Route(Window window, EventTarget* target);
void Unroute(Window window);
// Handles one event: routes it, or drops input meant for a window behind a modal one.
void Dispatch(XEvent& event);

// Runs events (and nothing else) until done() is true; other top-levels take no input meanwhile.
void RunModalLoop(Window modal, const std::function<bool()>& done);

// Interval timers. Due ones fire from DoEvents, like WM_TIMER messages.
long MsUntilNextTimer();  // -1 when no timer runs
void FireDueTimers();

// The primary monitor (see x11_screen.cpp). Window positions the program deals in are relative
// to its top-left corner as it was at start-up: add the origin to get root coordinates.
void InitScreen();
int OriginX();
int OriginY();
PixelRect PrimaryMonitorInRoot();  // as it is now
PixelRect PrimaryWorkAreaInRoot();  // what panels and docks leave of it, as it is now
// What panels and docks leave of each monitor (x11_workarea.cpp; the first is the primary one,
// which alone sway is asked about), root device pixels; and the
// events that can change it, followed from InitWorkArea on. HandleWorkAreaEvent tells every form
// when the primary monitor's work area changed (true when the event was one it follows);
// WorkAreaAnnounced records one the forms were told of otherwise.
void InitWorkArea();
std::vector<PixelRect> WorkAreas(const std::vector<PixelRect>& monitors);
bool HandleWorkAreaEvent(XEvent& event);
void WorkAreaAnnounced(const PixelRect& primary);
// Measures the primary work area again, and tells every form when it is not what they knew.
void WorkAreaMayHaveChanged();
// Takes RandR's screen-change notice (true when the event was one) and tells every form.
bool HandleScreenEvent(XEvent& event);
void NotifyDisplayChange();

// An opaque pixel of our windows' visual; TransparentPixel() shows what lies behind.
inline unsigned long TransparentPixel() { return 0; }
// What a top-level window is made with: alpha for one whose see-through pixels must show the
// live desktop, and for every window where the compositor ignores shapes (sway), so that only
// what a shape holds shows.
const Surface& SurfaceFor(bool seeThrough);
// XWayland, which is always composited: there transparent pixels are truly see-through.
bool IsXWayland(Display* d);
// sway: it places floating X11 windows itself, and takes a spot only through its IPC socket.
bool OnSway();
// Asks sway to put the window there (root coordinates); its answer goes to the window's
// FormWindow::SwayPlaced, from the loop.
void AskSwayToPlace(::Window w, int x, int y);
// The rectangle of sway's visible workspace on that monitor (root pixels): the output less its
// bars, as sway last said; asked again when that answer is over a second old, and a change it
// brings is told as a work-area change. Nothing where sway cannot be asked or shows none there.
std::optional<PixelRect> SwayWorkArea(const PixelRect& monitor);
// The exchange with sway in the loop's sleep: its socket (-1 while none is to be waited on),
// the poll() events, the revents seen, the milliseconds until it has something to do by the
// clock (-1: nothing), and SwayTick to do it.
int SwayFd();
short SwayEvents();
void SwayReady(short revents);
std::int64_t SwayMsUntilDue();
void SwayTick();
// Whether a compositor blends our windows now (x11_compositing.cpp): watched from
// WatchCompositing on; HandleCompositingEvent takes XFixes' notice of a change (true when the
// event was one) and tells every window through TellCompositingChanged.
void WatchCompositing();
bool CompositedNow();
bool HandleCompositingEvent(XEvent& event);
void TellCompositingChanged();
// Attributes every window of ours is made with (the visual's colormap, a border pixel); returns
// the value mask to pass along with `mask`.
unsigned long WindowAttributes(const Surface& s, XSetWindowAttributes& a, unsigned long mask);
XftColor* XftColorOf(const Surface& s, Color c);
// A font as asked for, at 96 dpi times the scale (12 pt = 16 px at 100 %, 32 px at 200 %).
// Never null after Initialize succeeded.
XftFont* FontFor(const FontSpec& wanted);
std::string InitFonts();
// Width in pixels of the text in the font.
int TextWidth(XftFont* f, const std::string& s);
// The text broken into lines no wider than `width` pixels, at blanks (and at line breaks), as
// Windows wraps a label's caption; text that fits stays one line as it is.
std::vector<std::string> WrapText(XftFont* f, const std::string& text, int width);

// WM_NAME and _NET_WM_NAME (UTF-8), so outside tools read what the window shows.
void SetWindowText(Window w, const std::string& text);
void SetRole(Window w, const std::string& role);
// What every top-level window carries for window managers and pagers: WM_CLASS, WM_HINTS,
// WM_CLIENT_MACHINE and _NET_WM_PID.
void SetTopLevelProperties(Window w);
bool WindowManagerRunning();
std::string WindowManagerName();  // its _NET_WM_NAME; empty without one
// Whether the named manager shows windows only within their shape when it composites them.
bool HonoursShapes(const std::string& manager);

// The input method text boxes type through (the desktop's, or Xlib's own); null where none
// opens. Key events go through XFilterEvent first, so that it can compose characters.
XIM InputMethod();

// X button number to the program's button code (1 left, 2 right, 4 middle); 0 for wheels.
int ButtonCode(unsigned xButton);
int ShiftCode(unsigned state);

}  // namespace plat::x11
