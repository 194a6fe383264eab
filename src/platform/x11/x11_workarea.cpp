// What panels and docks leave of each monitor: the struts of the windows that keep room for
// themselves (_NET_WM_STRUT_PARTIAL, _NET_WM_STRUT), and the window manager's _NET_WORKAREA where
// it has one that fits a monitor. Followed as it changes: the manager rewrites _NET_WORKAREA when
// a panel comes, goes or grows; without a manager the docks themselves are watched (their maps,
// unmaps and strut properties).
#include <X11/Xatom.h>

#include <algorithm>
#include <optional>
#include <set>
#include <vector>

#include "platform/common/monitors.h"
#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11 {
namespace {

struct WorkAreaState {
  Atom workArea = None, clientList = None, currentDesktop = None, strut = None, strutPartial = None;
  std::set<::Window> docks;       // windows seen with a strut: their changes are watched
  std::optional<PixelRect> last;  // the primary monitor's work area the forms last heard of
};

WorkAreaState& State() {
  static WorkAreaState s;
  return s;
}

// Up to `max` 32-bit values of a property (CARDINAL or WINDOW); empty where it is missing.
std::vector<long> Longs(::Window w, Atom property, Atom type, long max) {
  Atom actual = None;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(Server().dpy, w, property, 0, max, False, type, &actual, &format, &n,
                         &after, &data) == Success &&
      data && format == 32)
    out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + n);
  if (data) XFree(data);
  return out;
}

// The windows that may keep room: the manager's clients where one runs (a manager may frame a
// dock), else the root's own children.
std::vector<::Window> Candidates() {
  const WorkAreaState& s = State();
  Display* d = Server().dpy;
  std::vector<::Window> out;
  if (WindowManagerRunning()) {
    for (long w : Longs(Server().root, s.clientList, XA_WINDOW, 1 << 16)) out.push_back(::Window(w));
    return out;
  }
  ::Window rootRet = 0, parent = 0, *children = nullptr;
  unsigned n = 0;
  if (XQueryTree(d, Server().root, &rootRet, &parent, &children, &n) && children)
    out.assign(children, children + n);
  if (children) XFree(children);
  return out;
}

bool Viewable(::Window w) {
  XWindowAttributes a{};
  return XGetWindowAttributes(Server().dpy, w, &a) && a.map_state == IsViewable;
}

std::vector<Strut> Struts(int rootW, int rootH) {
  WorkAreaState& s = State();
  std::vector<Strut> out;
  for (::Window w : Candidates()) {
    if (FormWindowOf(w)) continue;  // ours keep no room
    std::vector<long> v = Longs(w, s.strutPartial, XA_CARDINAL, 12);
    if (v.size() < 12) v = Longs(w, s.strut, XA_CARDINAL, 4);
    if (v.size() < 4) continue;
    // A dock's later changes to its strut must reach us too.
    if (s.docks.insert(w).second) {
      XWindowAttributes a{};
      if (XGetWindowAttributes(Server().dpy, w, &a))
        XSelectInput(Server().dpy, w, a.your_event_mask | PropertyChangeMask);
    }
    if (Viewable(w)) out.push_back(StrutFrom(v.data(), int(v.size()), rootW, rootH));
  }
  return out;
}

// _NET_WORKAREA of the current desktop, from a manager that runs.
std::optional<PixelRect> DesktopWorkArea() {
  const WorkAreaState& s = State();
  if (!WindowManagerRunning()) return std::nullopt;
  const std::vector<long> desk = Longs(Server().root, s.currentDesktop, XA_CARDINAL, 1);
  const long k = desk.empty() ? 0 : desk.front();
  const std::vector<long> all = Longs(Server().root, s.workArea, XA_CARDINAL, 4 * (k + 1));
  if (k < 0 || all.size() < size_t(4 * (k + 1))) return std::nullopt;
  const long* r = &all[size_t(4 * k)];
  return PixelRect{int(r[0]), int(r[1]), int(r[2]), int(r[3])};
}

bool Inside(const PixelRect& a, const PixelRect& m) {
  return a.x >= m.x && a.y >= m.y && a.x + a.w <= m.x + m.w && a.y + a.h <= m.y + m.h;
}

}  // namespace

void InitWorkArea() {
  WorkAreaState& s = State();
  Display* d = Server().dpy;
  s.workArea = XInternAtom(d, "_NET_WORKAREA", False);
  s.clientList = XInternAtom(d, "_NET_CLIENT_LIST", False);
  s.currentDesktop = XInternAtom(d, "_NET_CURRENT_DESKTOP", False);
  s.strut = XInternAtom(d, "_NET_WM_STRUT", False);
  s.strutPartial = XInternAtom(d, "_NET_WM_STRUT_PARTIAL", False);
  // The manager's work area and client list change as properties of the root. Without a
  // manager, docks come and go as the root's children; with one, the root's children are its
  // frames, whose every move would wake the clock for nothing.
  XWindowAttributes a{};
  XGetWindowAttributes(d, Server().root, &a);
  long mask = a.your_event_mask | PropertyChangeMask;
  if (!WindowManagerRunning()) mask |= SubstructureNotifyMask;
  XSelectInput(d, Server().root, mask);
}

std::vector<PixelRect> WorkAreas(const std::vector<PixelRect>& monitors) {
  const int rootW = DisplayWidth(Server().dpy, Server().screen);
  const int rootH = DisplayHeight(Server().dpy, Server().screen);
  const std::vector<Strut> struts = Struts(rootW, rootH);
  const std::optional<PixelRect> desktop = DesktopWorkArea();
  // The clock's box must fit what is left, or the room is not worth keeping to.
  const int minW = Dev(300), minH = Dev(226);
  std::vector<PixelRect> out;
  for (const PixelRect& m : monitors) {
    // _NET_WORKAREA is one rectangle for all monitors: it says something of one monitor only
    // where it lies within it, or where there is just the one.
    const bool fits = desktop && (monitors.size() == 1 || Inside(*desktop, m));
    out.push_back(WorkAreaOf(m, struts, rootW, rootH, fits ? &*desktop : nullptr, minW, minH));
  }
  // sway keeps its bar out of its workspaces' rectangles, and tells X clients of it by neither
  // struts nor _NET_WORKAREA.
  if (!out.empty() && OnSway())
    if (std::optional<PixelRect> area = SwayWorkArea(monitors.front())) out.front() = *area;
  return out;
}

bool HandleWorkAreaEvent(XEvent& ev) {
  WorkAreaState& s = State();
  const ::Window root = Server().root;
  bool maybe = false;
  switch (ev.type) {
    case PropertyNotify: {
      const Atom a = ev.xproperty.atom;
      if (ev.xproperty.window == root)
        maybe = a == s.workArea || a == s.clientList || a == s.currentDesktop;
      else
        maybe = s.docks.count(ev.xproperty.window) && (a == s.strut || a == s.strutPartial);
      break;
    }
    // The root's children, without a manager; our own windows keep no room.
    case MapNotify:
      maybe = ev.xmap.event == root && !FormWindowOf(ev.xmap.window);
      break;
    case UnmapNotify:
      maybe = ev.xunmap.event == root && s.docks.count(ev.xunmap.window);
      break;
    case DestroyNotify:
      maybe = ev.xdestroywindow.event == root && s.docks.erase(ev.xdestroywindow.window);
      break;
    default:
      break;
  }
  if (!maybe) return false;
  WorkAreaMayHaveChanged();
  return true;
}

void WorkAreaMayHaveChanged() {
  WorkAreaState& s = State();
  const PixelRect now = PrimaryWorkAreaInRoot();
  if (s.last && *s.last == now) return;
  s.last = now;
  NotifyDisplayChange();
}

void WorkAreaAnnounced(const PixelRect& primary) { State().last = primary; }

}  // namespace plat::x11
