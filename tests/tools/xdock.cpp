// xdock: a panel for the black-box tests, as desktops' panels and docks are made: a window of type
// _NET_WM_WINDOW_TYPE_DOCK along one edge of the screen that keeps its room with
// _NET_WM_STRUT_PARTIAL (and the older _NET_WM_STRUT).
//
//   xdock EDGE SIZE            makes one SIZE pixels deep along EDGE (left, right, top, bottom),
//                              prints its id once it is mapped, and stays until it is killed
//   xdock set WIN EDGE SIZE    moves an existing one to that edge and depth, as a panel that is
//                              resized or moved by its user
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

Display* dpy = nullptr;

struct Placed {
  int x, y, w, h;
  long strut[12];
};

bool Place(const std::string& edge, int size, Placed& p) {
  const int W = DisplayWidth(dpy, DefaultScreen(dpy)), H = DisplayHeight(dpy, DefaultScreen(dpy));
  std::memset(p.strut, 0, sizeof p.strut);
  if (edge == "left") p = {0, 0, size, H, {size, 0, 0, 0, 0, H - 1}};
  else if (edge == "right") p = {W - size, 0, size, H, {0, size, 0, 0, 0, 0, 0, H - 1}};
  else if (edge == "top") p = {0, 0, W, size, {0, 0, size, 0, 0, 0, 0, 0, 0, W - 1}};
  else if (edge == "bottom") p = {0, H - size, W, size, {0, 0, 0, size, 0, 0, 0, 0, 0, 0, 0, W - 1}};
  else return false;
  return size > 0;
}

void Apply(Window w, const Placed& p) {
  XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(p.strut), 12);
  XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_STRUT", False), XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<const unsigned char*>(p.strut), 4);
  // Where the user put it: a window manager places a window itself unless told so.
  XSizeHints h{};
  h.flags = USPosition | USSize;
  h.x = p.x, h.y = p.y, h.width = p.w, h.height = p.h;
  XSetWMNormalHints(dpy, w, &h);
  XMoveResizeWindow(dpy, w, p.x, p.y, unsigned(p.w), unsigned(p.h));
}

int Usage() {
  std::fprintf(stderr, "usage: xdock EDGE SIZE | xdock set WIN EDGE SIZE\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (!(dpy = XOpenDisplay(nullptr))) return 2;
  Placed p{};
  if (argc == 5 && std::string(argv[1]) == "set") {
    if (!Place(argv[3], std::atoi(argv[4]), p)) return Usage();
    Apply(Window(std::strtoul(argv[2], nullptr, 0)), p);
    XSync(dpy, False);
    return 0;
  }
  if (argc != 3 || !Place(argv[1], std::atoi(argv[2]), p)) return Usage();
  XSetWindowAttributes a{};
  a.background_pixel = 0x303030;
  a.event_mask = StructureNotifyMask;
  const Window w = XCreateWindow(dpy, DefaultRootWindow(dpy), p.x, p.y, unsigned(p.w),
                                 unsigned(p.h), 0, CopyFromParent, InputOutput, CopyFromParent,
                                 CWBackPixel | CWEventMask, &a);
  Atom dock = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DOCK", False);
  XChangeProperty(dpy, w, XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(&dock), 1);
  XStoreName(dpy, w, "xdock");
  Apply(w, p);
  XMapWindow(dpy, w);
  for (XEvent ev;;) {
    XNextEvent(dpy, &ev);
    if (ev.type == MapNotify) {
      std::printf("0x%lx\n", w);
      std::fflush(stdout);
    }
  }
}
