// Start-up, metrics, the message pump, event routing and the small runtime services.
#include <X11/Xatom.h>
#include <X11/extensions/shape.h>
#include <unistd.h>

#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <unordered_map>
#include <vector>

#include "platform/app.h"
#include "platform/emulated/hive.h"
#include "platform/dates.h"
#include "platform/posix/end_signals.h"
#include "platform/posix/local_clock.h"
#include "platform/posix/session.h"
#include "platform/posix/reg_file_store.h"
#include "platform/registry.h"
#include "platform/wait.h"
#include "platform/x11/x11_atspi.h"
#include "platform/x11/x11_internal.h"
#include "platform/x11/x11_resources.h"

namespace plat {
namespace x11 {

void LostServer() {
  std::fprintf(stderr, "zorvane: lost the connection to the X server\n");
  ActiveHiveStore().StoreBeforeExit();  // a change still kept for a busy settings lock
  std::fflush(stderr);
  _exit(1);
}

namespace {

Connection g_conn;
DisplayScale g_scale;
std::string g_title;
// Never destroyed: windows of forms held in statics unroute as the program exits.
std::unordered_map<Window, EventTarget*>& g_routes = *new std::unordered_map<Window, EventTarget*>;
std::vector<Window> g_modal;  // stack of modal top-levels

int OnXError(Display*, XErrorEvent*) {
  // Windows vanish under us (another program's, during a search) and a failed request only skips
  // that one step; nothing here is worth stopping for.
  return 0;
}

int OnIoError(Display*) { x11::LostServer(); }

bool IsInput(int type) {
  return type == ButtonPress || type == ButtonRelease || type == MotionNotify ||
         type == KeyPress || type == KeyRelease;
}

}  // namespace

Connection& Server() { return g_conn; }
const DisplayScale& Scale() { return g_scale; }

void Route(Window w, EventTarget* t) { g_routes[w] = t; }
void Unroute(Window w) { g_routes.erase(w); }

void TellCompositingChanged() {
  std::vector<EventTarget*> targets;
  for (auto& [window, target] : g_routes) targets.push_back(target);
  for (EventTarget* t : targets) t->CompositingChanged();
}

XIM InputMethod() {
  static const XIM im = [] {
    XSetLocaleModifiers("");  // the desktop's input method, by XMODIFIERS
    XIM m = XOpenIM(Server().dpy, nullptr, nullptr, nullptr);
    if (!m) {
      XSetLocaleModifiers("@im=none");  // Xlib's own: compose sequences and the keymap
      m = XOpenIM(Server().dpy, nullptr, nullptr, nullptr);
    }
    return m;
  }();
  return im;
}

void Dispatch(XEvent& ev) {
  // An input method may take a key (the first of a composed character) and send its own later.
  if ((ev.type == KeyPress || ev.type == KeyRelease) && XFilterEvent(&ev, None)) return;
  if (HandleScreenEvent(ev) || HandleCompositingEvent(ev)) return;
  if (ev.type == PropertyNotify && atspi::RootPropertyChanged(ev.xproperty)) return;
  auto it = g_routes.find(ev.xany.window);
  if (it == g_routes.end()) return;
  if (!g_modal.empty() && IsInput(ev.type) && it->second->TopLevel() != g_modal.back()) return;
  it->second->HandleEvent(ev);
}

void RunModalLoop(Window modal, const std::function<bool()>& done) {
  g_modal.push_back(modal);
  while (!done()) {
    StoreKeptChanges();
    // The pause loop's plain wait: returns for events and for due interval timers.
    MsgWaitForMultipleObjects(0, nullptr, false, kInfinite, kQsAllInput);
    DoEvents();
  }
  g_modal.pop_back();
}

PixelLayout::Channel PixelLayout::ChannelOf(unsigned long mask) {
  Channel ch;
  while (mask && !(mask & 1)) {
    mask >>= 1;
    ++ch.shift;
  }
  while (mask & (1ul << ch.bits)) ++ch.bits;
  return ch;
}

PixelLayout::PixelLayout(const Visual* v, bool withAlpha)
    : r_(ChannelOf(v->red_mask)), g_(ChannelOf(v->green_mask)), b_(ChannelOf(v->blue_mask)) {
  // With an alpha channel, the bits the colours leave are alpha: all set is opaque.
  const unsigned long rgb = v->red_mask | v->green_mask | v->blue_mask;
  alpha_ = withAlpha ? ~rgb & 0xFFFFFFFFul : 0;
}

bool PixelLayout::Direct(const XImage* xi) {
  static const std::uint16_t one = 1;
  const bool hostLsb = *reinterpret_cast<const unsigned char*>(&one) == 1;
  return xi->bits_per_pixel == 32 && (xi->byte_order == LSBFirst) == hostLsb;
}

const Surface& SurfaceFor(bool seeThrough) {
  const Connection& c = Server();
  // Decided as each window is made: the About window, made at each showing, follows a
  // compositor that came or went since the last one.
  return (seeThrough && CompositedNow()) || c.shapeIgnored ? c.clear : c.opaque;
}

unsigned long WindowAttributes(const Surface& s, XSetWindowAttributes& a, unsigned long mask) {
  // A window of another visual than its parent's (ours under the root) needs its own colormap
  // and border, or the server refuses it.
  a.colormap = s.colormap;
  a.border_pixel = 0;
  return mask | CWColormap | CWBorderPixel;
}

XftColor* XftColorOf(const Surface& s, Color c) {
  static std::unordered_map<Color, XftColor> cache[2];  // without alpha, with it
  auto& cached = cache[s.alpha];
  auto it = cached.find(c);
  if (it != cached.end()) return &it->second;
  XRenderColor rc{static_cast<unsigned short>(RedOf(c) * 257),
                  static_cast<unsigned short>(GreenOf(c) * 257),
                  static_cast<unsigned short>(BlueOf(c) * 257), 0xFFFF};
  XftColor xc{};
  XftColorAllocValue(Server().dpy, s.visual, s.colormap, &rc, &xc);
  return &cached.emplace(c, xc).first->second;
}

void SetWindowText(Window w, const std::string& text) {
  Display* d = Server().dpy;
  XChangeProperty(d, w, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
  XChangeProperty(d, w, Server().atom.netWmName, Server().atom.utf8String, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(text.data()), static_cast<int>(text.size()));
}

void SetTopLevelProperties(Window w) {
  Display* d = Server().dpy;
  XClassHint cls{const_cast<char*>("zorvane"), const_cast<char*>("Zorvane")};
  XSetClassHint(d, w, &cls);
  XWMHints hints{};
  hints.flags = InputHint | StateHint;
  hints.input = True;
  hints.initial_state = NormalState;
  XSetWMHints(d, w, &hints);
  // _NET_WM_PID means something only together with the machine the process runs on.
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0 && host[0]) {
    XTextProperty machine{};
    char* list[] = {host};
    if (XStringListToTextProperty(list, 1, &machine)) {
      XSetWMClientMachine(d, w, &machine);
      XFree(machine.value);
    }
    long pid = getpid();
    XChangeProperty(d, w, Server().atom.netWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&pid), 1);
  }
}

void SetRole(Window w, const std::string& role) {
  XChangeProperty(Server().dpy, w, Server().atom.wmWindowRole, XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(role.data()), static_cast<int>(role.size()));
}

namespace {

::Window CheckWindow(::Window w) {
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  ::Window named = 0;
  if (XGetWindowProperty(Server().dpy, w, Server().atom.netSupportingWmCheck, 0, 1, False, XA_WINDOW, &type,
                         &format, &n, &after, &data) == Success &&
      data && n == 1 && format == 32)
    named = static_cast<::Window>(*reinterpret_cast<unsigned long*>(data));
  if (data) XFree(data);
  return named;
}

}  // namespace

std::string WindowManagerName() {
  const ::Window check = CheckWindow(Server().root);
  if (!check) return {};
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  std::string name;
  if (XGetWindowProperty(Server().dpy, check, Server().atom.netWmName, 0, 64, False,
                         Server().atom.utf8String, &type, &format, &n, &after, &data) == Success &&
      data && format == 8)
    name.assign(reinterpret_cast<char*>(data), n);
  if (data) XFree(data);
  return name;
}

bool HonoursShapes(const std::string& manager) {
  // GNOME Shell's is "GNOME Shell", plain mutter's "Mutter"; KDE's "KWin". wlroots' own X window
  // manager calls itself "wlroots wm".
  for (const char* known : {"GNOME Shell", "Mutter", "KWin"})
    if (manager.rfind(known, 0) == 0) return true;
  return false;
}

// A window manager that quits leaves its property on the root, naming a window that is gone: it
// runs only while that window exists and names itself the same way.
bool WindowManagerRunning() {
  ::Window check = CheckWindow(Server().root);
  return check != 0 && CheckWindow(check) == check;
}

int ButtonCode(unsigned b) {
  switch (b) {
    case Button1: return kLeftButton;
    case Button3: return kRightButton;
    case Button2: return kMiddleButton;
    default: return 0;
  }
}

int ShiftCode(unsigned state) {
  return ((state & ShiftMask) ? kShiftMask : 0) | ((state & ControlMask) ? kCtrlMask : 0) |
         ((state & Mod1Mask) ? kAltMask : 0);
}

}  // namespace x11

using x11::Server;

std::string Initialize(int fitWidth, int fitHeight) {
  std::setlocale(LC_ALL, "");
  posix::WatchZone();  // before the first reading of the time, which makes the C library read it
  XSetErrorHandler(x11::OnXError);
  XSetIOErrorHandler(x11::OnIoError);
  const char* name = std::getenv("DISPLAY");
  if (!name || !*name) {
    // A Wayland session runs X programs through XWayland, which sets DISPLAY when it is there.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland)
      return "this Wayland session has no X server (DISPLAY is not set); the clock needs XWayland";
    return "DISPLAY is not set: start the clock from a desktop session";
  }
  Display* d = XOpenDisplay(nullptr);
  if (!d)
    return std::string("cannot open the X display \"") + name + "\" (is the X server running?)";
  x11::Connection& c = Server();
  c.dpy = d;
  c.screen = DefaultScreen(d);
  c.root = RootWindow(d, c.screen);
  Visual* own = DefaultVisual(d, c.screen);
  if (own->c_class != TrueColor) return "the X display has no true-colour visual";
  c.opaque = {own, DefaultColormap(d, c.screen), DefaultDepth(d, c.screen), false, {own, false}};
  c.clear = c.opaque;
  c.xwayland = x11::IsXWayland(d);
  int shapeEvent, shapeError;
  if (!XShapeQueryExtension(d, &shapeEvent, &shapeError))
    return "the X server lacks the SHAPE extension";

  // Each atom beside the field it fills, interned in one round trip.
  static constexpr std::pair<const char*, Atom x11::Atoms::*> table[] = {
      {"WM_PROTOCOLS", &x11::Atoms::wmProtocols},
      {"WM_DELETE_WINDOW", &x11::Atoms::wmDeleteWindow},
      {"WM_STATE", &x11::Atoms::wmState},
      {"WM_WINDOW_ROLE", &x11::Atoms::wmWindowRole},
      {"UTF8_STRING", &x11::Atoms::utf8String},
      {"_NET_WM_NAME", &x11::Atoms::netWmName},
      {"_NET_WM_PID", &x11::Atoms::netWmPid},
      {"_NET_WM_WINDOW_TYPE", &x11::Atoms::netWmWindowType},
      {"_NET_WM_WINDOW_TYPE_DIALOG", &x11::Atoms::netWmWindowTypeDialog},
      {"_NET_WM_WINDOW_TYPE_NORMAL", &x11::Atoms::netWmWindowTypeNormal},
      {"_NET_WM_MOVERESIZE", &x11::Atoms::netWmMoveResize},
      {"_NET_SUPPORTING_WM_CHECK", &x11::Atoms::netSupportingWmCheck},
      {"_NET_WM_STATE", &x11::Atoms::netWmState},
      {"_NET_WM_STATE_ABOVE", &x11::Atoms::netWmStateAbove},
      {"_MOTIF_WM_HINTS", &x11::Atoms::motifWmHints},
      {"_NET_WM_ICON", &x11::Atoms::netWmIcon},
      {"_NET_WM_OPAQUE_REGION", &x11::Atoms::netWmOpaqueRegion},
      {"_GTK_FRAME_EXTENTS", &x11::Atoms::gtkFrameExtents},
  };
  static_assert(sizeof(x11::Atoms) == std::size(table) * sizeof(Atom), "an atom without its name");
  const char* names[std::size(table)];
  Atom atoms[std::size(table)];
  for (size_t i = 0; i < std::size(table); ++i) names[i] = table[i].first;
  XInternAtoms(d, const_cast<char**>(names), static_cast<int>(std::size(names)), False, atoms);
  for (size_t i = 0; i < std::size(table); ++i) c.atom.*table[i].second = atoms[i];

  // A visual with alpha: where the desktop composites, the About window's see-through parts then
  // show the live desktop. sway (and the other wlroots compositors) ignores a window's shape, so
  // there every window has alpha, transparent outside its shape; mutter and KWin honour it.
  x11::WatchCompositing();
  XVisualInfo argb{};
  if (XMatchVisualInfo(d, c.screen, 32, TrueColor, &argb)) {
    c.clear = {argb.visual, XCreateColormap(d, c.root, argb.visual, AllocNone), 32, true,
               {argb.visual, true}};
    c.shapeIgnored = c.xwayland && !x11::HonoursShapes(x11::WindowManagerName());
  }

  // The desktop's scale, as GNOME, KDE and Xfce publish it; programs read it once.
  if (const char* resources = XResourceManagerString(d)) x11::g_scale = x11::ScaleFromResources(resources);

  // From here a signal asking the clock to end waits for its next sleep, which stores what it
  // keeps (the settings are read after this).
  posix::EndSignalFd();
  x11::InitScreen();
  // What the program must show whole (the clock's triangle, whose tip is the handle it is
  // dragged by) fits the primary monitor.
  const PixelRect monitor = x11::PrimaryMonitorInRoot();
  const DisplayScale fit = fitWidth > 0 && fitHeight > 0
                               ? FitScale(x11::g_scale, fitWidth, fitHeight, monitor.w, monitor.h)
                               : x11::g_scale;
  if (fit.Factor() != x11::g_scale.Factor()) {
    std::fprintf(stderr, "zorvane: Xft.dpi asks for more than fits; scale limited to %g, the largest "
                 "at which the clock fits the %d x %d monitor\n",
                 fit.Factor(), monitor.w, monitor.h);
    x11::g_scale = fit;
  }
  std::string fonts = x11::InitFonts();
  if (fonts.empty()) x11::atspi::Start();
  return fonts;
}

// X has no double-click setting of its own. Windows' default time, 500 ms, and 4 logical pixels
// either way: twice Windows' default distance (a 4 x 4 box around the first press), near the 5
// that X toolkits allow, since X desktops are more often driven by touchpads. Logical pixels,
// so the distance grows with the desktop's scale.
DoubleClickLimits PlatformDoubleClickLimits() { return {500, 4, 4}; }

const std::string& AppTitle() { return x11::g_title; }
void SetAppTitle(const std::string& title) { x11::g_title = title; }

int TwipsPerPixelX() { return 15; }
int TwipsPerPixelY() { return 15; }

void DoEvents() {
  Display* d = Server().dpy;
  while (XPending(d) > 0) {
    XEvent ev;
    XNextEvent(d, &ev);
    x11::Dispatch(ev);
  }
  x11::atspi::Pump();
  x11::FireDueTimers();
}

posix::Session posix::CurrentSession() {
  return {DisplayString(Server().dpy)};
}

}  // namespace plat
