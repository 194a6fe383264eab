// The program's screen: the primary monitor, read with RandR. Its top-left corner is the origin
// of every window position the program sets or reads, as the primary monitor's is on Windows.
#include <X11/extensions/Xrandr.h>

#include <cstring>
#include <optional>
#include <vector>

#include "platform/app.h"
#include "platform/common/monitors.h"
#include "platform/x11/x11_internal.h"

namespace plat {
namespace x11 {
namespace {

struct ScreenState {
  bool randr = false;  // RandR 1.5 answers: monitors can be listed
  int randrEvent = 0;
  PixelRect primary{};  // at start-up, root coordinates
};

ScreenState& Screen() {
  static ScreenState s;
  return s;
}

std::vector<MonitorInfo> ListMonitors() {
  std::vector<MonitorInfo> out;
  if (!Screen().randr) return out;
  int n = 0;
  XRRMonitorInfo* m = XRRGetMonitors(Server().dpy, Server().root, True, &n);
  for (int i = 0; m && i < n; ++i)
    out.push_back({{m[i].x, m[i].y, m[i].width, m[i].height}, m[i].primary != 0});
  if (m) XRRFreeMonitors(m);
  return out;
}

PixelRect WholeScreen() {
  return {0, 0, DisplayWidth(Server().dpy, Server().screen), DisplayHeight(Server().dpy, Server().screen)};
}

}  // namespace

// XWayland from 23.1 has an extension of that name; before, only its outputs' names tell it.
bool IsXWayland(Display* d) {
  int opcode = 0, event = 0, error = 0;
  if (XQueryExtension(d, "XWAYLAND", &opcode, &event, &error)) return true;
  int major = 0, minor = 0, n = 0;
  if (!XRRQueryExtension(d, &event, &error) || !XRRQueryVersion(d, &major, &minor) ||
      (major == 1 && minor < 5))
    return false;
  bool found = false;
  XRRMonitorInfo* m = XRRGetMonitors(d, DefaultRootWindow(d), True, &n);
  for (int i = 0; m && i < n && !found; ++i) {
    char* name = m[i].name != None ? XGetAtomName(d, m[i].name) : nullptr;
    found = name && std::strncmp(name, "XWAYLAND", 8) == 0;
    if (name) XFree(name);
  }
  if (m) XRRFreeMonitors(m);
  return found;
}

void InitScreen() {
  ScreenState& s = Screen();
  Display* d = Server().dpy;
  int event = 0, error = 0, major = 0, minor = 0;
  if (XRRQueryExtension(d, &event, &error) && XRRQueryVersion(d, &major, &minor) &&
      (major > 1 || (major == 1 && minor >= 5))) {
    s.randr = true;
    s.randrEvent = event;
    XRRSelectInput(d, Server().root, RRScreenChangeNotifyMask);
  }
  // Adding or removing a monitor that is only a part of a larger output sends no RandR event,
  // but the server does announce the root window as reconfigured.
  XSelectInput(d, Server().root, StructureNotifyMask);
  s.primary = PrimaryMonitor(ListMonitors()).value_or(WholeScreen());
  InitWorkArea();
  WorkAreaAnnounced(PrimaryWorkAreaInRoot());  // what the first placement will measure
}

int OriginX() { return Screen().primary.x; }
int OriginY() { return Screen().primary.y; }

PixelRect PrimaryMonitorInRoot() { return PrimaryMonitor(ListMonitors()).value_or(WholeScreen()); }

PixelRect PrimaryWorkAreaInRoot() { return WorkAreas({PrimaryMonitorInRoot()}).front(); }

bool HandleScreenEvent(XEvent& ev) {
  const ScreenState& s = Screen();
  const bool randr = s.randr && ev.type == s.randrEvent + RRScreenChangeNotify;
  const bool root = ev.type == ConfigureNotify && ev.xconfigure.window == Server().root;
  if (!randr && !root) return HandleWorkAreaEvent(ev);
  XRRUpdateConfiguration(&ev);  // so DisplayWidth/Height follow the new size
  WorkAreaAnnounced(PrimaryWorkAreaInRoot());
  NotifyDisplayChange();
  return true;
}

}  // namespace x11

using x11::Server;

// The program measures the screen in logical pixels, as Windows shows it to a program that
// does not know about the scale, from the primary monitor's corner as it was at start-up.
std::vector<Monitor> Monitors() {
  auto toTwips = [](const PixelRect& r) {
    const int x0 = x11::Logical(r.x - x11::OriginX()), y0 = x11::Logical(r.y - x11::OriginY());
    const int x1 = x11::Logical(r.x + r.w - x11::OriginX());
    const int y1 = x11::Logical(r.y + r.h - x11::OriginY());
    return MonitorRect{double(x0) * TwipsPerPixelX(), double(y0) * TwipsPerPixelY(),
                       double(x1 - x0) * TwipsPerPixelX(), double(y1 - y0) * TwipsPerPixelY()};
  };
  const std::vector<MonitorInfo> list = x11::ListMonitors();
  std::vector<PixelRect> rects;
  const std::optional<PixelRect> primary = PrimaryMonitor(list);
  rects.push_back(primary.value_or(x11::WholeScreen()));
  for (const MonitorInfo& m : list)
    if (primary && !(m.rect == *primary)) rects.push_back(m.rect);
  const std::vector<PixelRect> work = x11::WorkAreas(rects);
  std::vector<Monitor> out;
  for (size_t i = 0; i < rects.size(); ++i) out.push_back({toTwips(rects[i]), toTwips(work[i])});
  return out;
}

}  // namespace plat
