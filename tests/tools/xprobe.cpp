// xprobe: reads the window tree of an X display for the black-box shell tests.
//
// Every subcommand prints plain text and exits 0 on success, 1 when the thing asked for was not
// found (or a wait timed out), 2 on bad usage or no display. Windows are printed as 0x-hex ids.
//
// Windows can be destroyed while we walk the tree (a message box closing, a program exiting), so a
// non-fatal X error handler is installed: a failed request just makes that window look absent.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

Display* dpy = nullptr;
Window root = 0;
bool xerror = false;

int OnXError(Display*, XErrorEvent*) {
  xerror = true;  // BadWindow / BadMatch from a window that vanished: not fatal here
  return 0;
}

Atom A(const char* name) { return XInternAtom(dpy, name, False); }

// A text property as bytes (STRING or UTF8_STRING are both returned verbatim).
std::optional<std::string> TextProp(Window w, Atom prop) {
  Atom type = None;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  xerror = false;
  int rc = XGetWindowProperty(dpy, w, prop, 0, 1 << 16, False, AnyPropertyType, &type, &format,
                              &n, &after, &data);
  XSync(dpy, False);
  if (rc != Success || xerror || type == None || format != 8) {
    if (data) XFree(data);
    return std::nullopt;
  }
  std::string s(reinterpret_cast<char*>(data), n);
  XFree(data);
  return s;
}

bool HasProp(Window w, Atom prop) {
  Atom type = None;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  xerror = false;
  int rc = XGetWindowProperty(dpy, w, prop, 0, 1, False, AnyPropertyType, &type, &format, &n,
                              &after, &data);
  XSync(dpy, False);
  if (data) XFree(data);
  return rc == Success && !xerror && type != None;
}

std::string Name(Window w) {
  if (auto s = TextProp(w, A("WM_NAME"))) return *s;
  return "";
}

// The title a user sees: _NET_WM_NAME when set, else WM_NAME.
std::string Title(Window w) {
  if (auto s = TextProp(w, A("_NET_WM_NAME"))) return *s;
  return Name(w);
}

std::string Role(Window w) {
  if (auto s = TextProp(w, A("WM_WINDOW_ROLE"))) return *s;
  return "";
}

// Newlines and tabs would break the one-line-per-window output.
std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\n') out += "\\n";
    else if (c == '\t') out += "\\t";
    else if (c == '\r') out += "\\r";
    else if (c == '\\') out += "\\\\";
    else out += c;
  }
  return out;
}

struct Geo {
  int x = 0, y = 0;  // outer top-left (border included) relative to the reference window
  int w = 0, h = 0;  // inner size, px
  int border = 0;
  const char* map = "gone";
};

std::optional<Geo> GeometryIn(Window w, Window reference) {
  XWindowAttributes a{};
  xerror = false;
  if (!XGetWindowAttributes(dpy, w, &a)) return std::nullopt;
  int x = 0, y = 0;
  Window child = 0;
  if (!XTranslateCoordinates(dpy, w, reference, 0, 0, &x, &y, &child)) return std::nullopt;
  XSync(dpy, False);
  if (xerror) return std::nullopt;
  Geo g;
  g.x = x - a.border_width;
  g.y = y - a.border_width;
  g.w = a.width;
  g.h = a.height;
  g.border = a.border_width;
  g.map = a.map_state == IsViewable ? "viewable" : a.map_state == IsUnmapped ? "unmapped"
                                                                              : "unviewable";
  return g;
}

std::vector<Window> Children(Window w) {
  Window r = 0, parent = 0, *kids = nullptr;
  unsigned int n = 0;
  xerror = false;
  std::vector<Window> out;
  if (XQueryTree(dpy, w, &r, &parent, &kids, &n) && !xerror) out.assign(kids, kids + n);
  if (kids) XFree(kids);
  return out;
}

// Depth-first, parents before children, in stacking order (bottom first).
void Walk(Window w, std::vector<Window>& out) {
  for (Window c : Children(w)) {
    out.push_back(c);
    Walk(c, out);
  }
}

std::vector<Window> Descendants(Window w) {
  std::vector<Window> out;
  Walk(w, out);
  return out;
}

// Application top-level windows: direct children of the root (no window manager, or not yet
// reparented) and windows carrying WM_STATE (what a window manager marks as managed clients).
// Openbox's own frames have no WM_NAME, so a title match never picks them.
std::vector<Window> TopLevels() {
  std::vector<Window> out;
  const Atom wmState = A("WM_STATE");
  std::vector<Window> rootKids = Children(root);
  for (Window w : rootKids) out.push_back(w);
  for (Window w : Descendants(root)) {
    bool direct = false;
    for (Window k : rootKids) direct |= (k == w);
    if (!direct && HasProp(w, wmState)) out.push_back(w);
  }
  return out;
}

struct Filter {
  std::optional<std::string> title, role, childName;
  bool viewable = false;
};

bool Matches(Window w, const Filter& f) {
  if (f.title && Title(w) != *f.title && Name(w) != *f.title) return false;
  if (f.role && Role(w) != *f.role) return false;
  if (f.viewable) {
    auto g = GeometryIn(w, root);
    if (!g || std::strcmp(g->map, "viewable") != 0) return false;
  }
  if (f.childName) {
    bool found = false;
    for (Window d : Descendants(w)) found |= Name(d) == *f.childName;
    if (!found) return false;
  }
  return true;
}

std::vector<Window> FindTop(const Filter& f) {
  std::vector<Window> out;
  for (Window w : TopLevels())
    if (Matches(w, f)) out.push_back(w);
  return out;
}

// A descendant of `top` with the given role (first in tree order).
std::optional<Window> ChildByRole(Window top, const std::string& role) {
  for (Window d : Descendants(top))
    if (Role(d) == role) return d;
  return std::nullopt;
}

void PrintLine(Window w, Window reference) {
  auto g = GeometryIn(w, reference);
  if (!g) return;
  std::printf("0x%lx\t%s\t%s\t%d\t%d\t%d\t%d\t%s\n", w, Escape(Role(w)).c_str(), g->map, g->x,
              g->y, g->w, g->h, Escape(Name(w)).c_str());
}

Window ParseWindow(const char* s) {
  char* end = nullptr;
  unsigned long v = std::strtoul(s, &end, 0);
  if (!end || *end) {
    std::fprintf(stderr, "xprobe: bad window id '%s'\n", s);
    std::exit(2);
  }
  return static_cast<Window>(v);
}

long ParseMs(const char* s) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (!end || *end || v < 0) {
    std::fprintf(stderr, "xprobe: bad time-out '%s' (milliseconds)\n", s);
    std::exit(2);
  }
  return v;
}

// Polls `probe` every 20 ms until it returns true or `ms` milliseconds have passed.
template <class F>
bool WaitUntil(long ms, F probe) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    if (probe()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

// Reads --title T --role R --child-name N --viewable from argv[i..].
Filter ParseFilter(int argc, char** argv, int i, long* timeout) {
  Filter f;
  for (; i < argc; ++i) {
    std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "xprobe: %s needs a value\n", a.c_str());
        std::exit(2);
      }
      return argv[++i];
    };
    if (a == "--title") f.title = next();
    else if (a == "--role") f.role = next();
    else if (a == "--child-name") f.childName = next();
    else if (a == "--viewable") f.viewable = true;
    else if (a == "--timeout" && timeout) *timeout = ParseMs(next().c_str());
    else {
      std::fprintf(stderr, "xprobe: unknown option '%s'\n", a.c_str());
      std::exit(2);
    }
  }
  return f;
}

int PrintIds(const std::vector<Window>& ws) {
  for (Window w : ws) std::printf("0x%lx\n", w);
  return ws.empty() ? 1 : 0;
}

bool WmReady() {
  Atom type = None;
  int format = 0;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  xerror = false;
  int rc = XGetWindowProperty(dpy, root, A("_NET_SUPPORTING_WM_CHECK"), 0, 1, False, XA_WINDOW,
                              &type, &format, &n, &after, &data);
  bool ok = rc == Success && type == XA_WINDOW && n == 1;
  if (data) XFree(data);
  return ok;
}

void Usage() {
  std::fprintf(stderr,
               "usage: xprobe COMMAND ...\n"
               "  tree                          every window: id role map x y w h WM_NAME\n"
               "  find [FILTER]                 ids of top-level windows matching FILTER\n"
               "  wait [FILTER] --timeout MS    like find, waiting until at least one matches\n"
               "  find-title TITLE              ids of top-level windows with that title\n"
               "  wait-title TITLE [viewable] MS\n"
               "  count [FILTER]                number of matching top-level windows\n"
               "  geom WIN                      map x y w h of WIN relative to the root\n"
               "  child WIN ROLE                x y w h map name of the descendant (relative to WIN)\n"
               "  children WIN                  every descendant: id role map x y w h name\n"
               "  names WIN                     WM_NAME of every descendant that has one\n"
               "  role WIN | title WIN          WM_WINDOW_ROLE / title of WIN\n"
               "  motif WIN                     flags and decorations of _MOTIF_WM_HINTS\n"
               "  wait-gone WIN MS              waits until WIN is destroyed\n"
               "  wait-unviewable WIN MS        waits until WIN is destroyed or not viewable\n"
               "  wait-wm MS                    waits until a window manager is announced and manages\n"
               "                                a test window\n"
               "  paint-root RRGGBB             sets the root background to that colour\n"
               "  backdrop RRGGBB               a desktop window of that colour; prints 'press X Y'\n"
               "                                for each click it gets; runs until killed\n"
               "  paint-root-pattern            root background where every pixel differs: see\n"
               "                                pattern-rgb\n"
               "  pattern-rgb X Y               r,g,b that paint-root-pattern gives pixel (X,Y)\n"
               "  shape-rects WIN               how many rectangles the window's bounding shape\n"
               "                                has (1: none cut out)\n"
               "  own SELECTION                 owns the selection (a compositor's _NET_WM_CM_S0,\n"
               "                                nothing composited) until killed or taken\n"
               "  pointer                       windows under the pointer, top-level first, or 'root'\n"
               "FILTER: --title T --role R --child-name N --viewable\n");
}

// The colour paint-root-pattern gives root pixel (x, y), 8 bits per channel: red and green are
// the low bytes of x and y, blue holds their high bits (x >> 8 in the low nibble, y >> 8 in the
// high one), so no two pixels of a screen up to 4096x4096 share a colour and a picture taken of
// the wrong place, or shifted by one pixel, shows it.
unsigned long PatternRgb(int x, int y) {
  return (static_cast<unsigned long>(x & 0xff) << 16) | (static_cast<unsigned long>(y & 0xff) << 8) |
         static_cast<unsigned long>(((x >> 8) & 0x0f) | (((y >> 8) & 0x0f) << 4));
}

// One channel of an 8-bit value placed into a visual's mask (e.g. 0xff0000 for red).
unsigned long ToMask(unsigned long v8, unsigned long mask) {
  if (!mask) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1)) ++shift;
  int bits = 0;
  while ((mask >> (shift + bits)) & 1) ++bits;
  unsigned long v = bits >= 8 ? v8 << (bits - 8) : v8 >> (8 - bits);
  return (v << shift) & mask;
}

// A desktop window of one colour over the whole screen, below every other window, as a
// desktop's own background is; runs until killed. Compositing managers paint their own
// background (or black) over the root's.
int Backdrop(unsigned long pixel) {
  const int scr = DefaultScreen(dpy);
  XSetWindowAttributes a{};
  a.background_pixel = pixel;
  Window w = XCreateWindow(dpy, root, 0, 0, unsigned(DisplayWidth(dpy, scr)),
                           unsigned(DisplayHeight(dpy, scr)), 0, CopyFromParent, InputOutput,
                           CopyFromParent, CWBackPixel, &a);
  XSelectInput(dpy, w, ButtonPressMask | StructureNotifyMask);
  Atom type = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE", False);
  Atom desktop = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DESKTOP", False);
  XChangeProperty(dpy, w, type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&desktop), 1);
  XSizeHints h{};
  h.flags = USPosition | USSize;
  h.width = DisplayWidth(dpy, scr);
  h.height = DisplayHeight(dpy, scr);
  XSetWMNormalHints(dpy, w, &h);
  XStoreName(dpy, w, "backdrop");
  XMapWindow(dpy, w);
  XSync(dpy, False);
  // Each press it gets, in root coordinates: clicks that reach the desktop.
  for (;;) {
    XEvent e;
    XNextEvent(dpy, &e);
    if (e.type == ButtonPress) {
      std::printf("press %d %d\n", e.xbutton.x_root, e.xbutton.y_root);
      std::fflush(stdout);
    }
    // KWin, started moments before, sometimes gives a desktop window 10 x 10: ask again for
    // the whole screen.
    if (e.type == ConfigureNotify && (e.xconfigure.width != h.width || e.xconfigure.height != h.height))
      XMoveResizeWindow(dpy, w, 0, 0, unsigned(h.width), unsigned(h.height));
  }
}

// Sets the root background to the pattern of PatternRgb. Needs a TrueColor (or DirectColor)
// default visual, which Xvfb's 24-bit screen has.
int PaintRootPattern() {
  const int scr = DefaultScreen(dpy);
  Visual* vis = DefaultVisual(dpy, scr);
  const int depth = DefaultDepth(dpy, scr);
  const int w = DisplayWidth(dpy, scr), h = DisplayHeight(dpy, scr);
  if (!vis->red_mask || !vis->green_mask || !vis->blue_mask) {
    std::fprintf(stderr, "xprobe: paint-root-pattern needs a TrueColor visual\n");
    return 1;
  }
  XImage* img = XCreateImage(dpy, vis, depth, ZPixmap, 0, nullptr, w, h, 32, 0);
  if (!img) return 1;
  img->data = static_cast<char*>(std::malloc(static_cast<size_t>(img->bytes_per_line) * h));
  if (!img->data) return 1;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      unsigned long rgb = PatternRgb(x, y);
      XPutPixel(img, x, y,
                ToMask((rgb >> 16) & 0xff, vis->red_mask) | ToMask((rgb >> 8) & 0xff, vis->green_mask) |
                    ToMask(rgb & 0xff, vis->blue_mask));
    }
  Pixmap pm = XCreatePixmap(dpy, root, w, h, depth);
  GC gc = XCreateGC(dpy, pm, 0, nullptr);
  XPutImage(dpy, pm, gc, img, 0, 0, 0, 0, w, h);
  XFreeGC(dpy, gc);
  XDestroyImage(img);
  // The server keeps a background pixmap after we free it (and after we disconnect).
  XSetWindowBackgroundPixmap(dpy, root, pm);
  XFreePixmap(dpy, pm);
  XClearWindow(dpy, root);
  XSync(dpy, False);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return 2;
  }
  dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "xprobe: cannot open display\n");
    return 2;
  }
  XSetErrorHandler(OnXError);
  root = DefaultRootWindow(dpy);
  const std::string cmd = argv[1];

  if (cmd == "tree") {
    for (Window w : Descendants(root)) PrintLine(w, root);
    return 0;
  }
  if (cmd == "find" || cmd == "count") {
    Filter f = ParseFilter(argc, argv, 2, nullptr);
    auto ws = FindTop(f);
    if (cmd == "count") {
      std::printf("%zu\n", ws.size());
      return 0;
    }
    return PrintIds(ws);
  }
  if (cmd == "wait") {
    long timeout = -1;
    Filter f = ParseFilter(argc, argv, 2, &timeout);
    if (timeout < 0) {
      Usage();
      return 2;
    }
    std::vector<Window> ws;
    WaitUntil(timeout, [&] { return !(ws = FindTop(f)).empty(); });
    return PrintIds(ws);
  }
  if (cmd == "find-title" && argc == 3) {
    Filter f;
    f.title = argv[2];
    return PrintIds(FindTop(f));
  }
  if (cmd == "wait-title" && (argc == 4 || argc == 5)) {
    Filter f;
    f.title = argv[2];
    if (argc == 5) {
      if (std::strcmp(argv[3], "viewable") != 0) {
        Usage();
        return 2;
      }
      f.viewable = true;
    }
    long timeout = ParseMs(argv[argc - 1]);
    std::vector<Window> ws;
    WaitUntil(timeout, [&] { return !(ws = FindTop(f)).empty(); });
    return PrintIds(ws);
  }
  if (cmd == "geom" && argc == 3) {
    auto g = GeometryIn(ParseWindow(argv[2]), root);
    if (!g) return 1;
    std::printf("%s %d %d %d %d\n", g->map, g->x, g->y, g->w, g->h);
    return 0;
  }
  if (cmd == "child" && argc == 4) {
    Window top = ParseWindow(argv[2]);
    auto c = ChildByRole(top, argv[3]);
    if (!c) return 1;
    auto g = GeometryIn(*c, top);
    if (!g) return 1;
    std::printf("%d %d %d %d %s %s\n", g->x, g->y, g->w, g->h, g->map,
                Escape(Name(*c)).c_str());
    return 0;
  }
  if (cmd == "children" && argc == 3) {
    Window top = ParseWindow(argv[2]);
    for (Window w : Descendants(top)) PrintLine(w, top);
    return 0;
  }
  if (cmd == "names" && argc == 3) {
    for (Window w : Descendants(ParseWindow(argv[2])))
      if (auto s = TextProp(w, A("WM_NAME"))) std::printf("%s\n", Escape(*s).c_str());
    return 0;
  }
  if (cmd == "role" && argc == 3) {
    std::printf("%s\n", Escape(Role(ParseWindow(argv[2]))).c_str());
    return 0;
  }
  if (cmd == "title" && argc == 3) {
    Window w = ParseWindow(argv[2]);
    std::printf("%s\n%s\n", Escape(Name(w)).c_str(),
                Escape(TextProp(w, A("_NET_WM_NAME")).value_or("")).c_str());
    return 0;
  }
  if (cmd == "motif" && argc == 3) {
    Atom type = None;
    int format = 0;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    Atom motif = A("_MOTIF_WM_HINTS");
    if (XGetWindowProperty(dpy, ParseWindow(argv[2]), motif, 0, 5, False, AnyPropertyType, &type,
                           &format, &n, &after, &data) != Success ||
        type == None || format != 32 || n < 3) {
      if (data) XFree(data);
      return 1;
    }
    auto* v = reinterpret_cast<unsigned long*>(data);  // 32-bit items arrive as longs
    std::printf("flags=%lu decorations=%lu\n", v[0], v[2]);
    XFree(data);
    return 0;
  }
  if (cmd == "wait-gone" && argc == 4) {
    Window w = ParseWindow(argv[2]);
    return WaitUntil(ParseMs(argv[3]), [&] { return !GeometryIn(w, root); }) ? 0 : 1;
  }
  if (cmd == "wait-unviewable" && argc == 4) {
    Window w = ParseWindow(argv[2]);
    return WaitUntil(ParseMs(argv[3]),
                     [&] {
                       auto g = GeometryIn(w, root);
                       return !g || std::strcmp(g->map, "viewable") != 0;
                     })
               ? 0
               : 1;
  }
  if (cmd == "wait-wm" && argc == 3) {
    const long total = ParseMs(argv[2]);
    const auto start = std::chrono::steady_clock::now();
    if (!WaitUntil(total, WmReady)) return 1;
    // Openbox announces itself before it handles requests: a window mapped in that gap stays
    // unmapped and unmanaged for good. So also wait until a window of our own gets managed
    // (WM_STATE set), with a fresh window every 300 ms in case a request was lost.
    const Atom wmState = A("WM_STATE");
    for (;;) {
      long left = total - static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                                std::chrono::steady_clock::now() - start)
                                                .count());
      if (left <= 0) return 1;
      Window w = XCreateSimpleWindow(dpy, root, 0, 0, 10, 10, 0, 0, 0);
      XStoreName(dpy, w, "xprobe wm check");
      XMapWindow(dpy, w);
      XSync(dpy, False);
      bool managed = WaitUntil(std::min(300L, left), [&] { return HasProp(w, wmState); });
      XDestroyWindow(dpy, w);
      XSync(dpy, False);
      if (managed) return 0;
    }
  }
  if (cmd == "pointer" && argc == 2) {
    // XQueryPointer reports the child that would receive a click there, so input shapes count:
    // a point where a shaped window lets clicks through reports the window below.
    Window w = root;
    int n = 0;
    for (int depth = 0; depth < 32; ++depth) {
      Window r = 0, child = 0;
      int rx, ry, wx, wy;
      unsigned int mask;
      if (!XQueryPointer(dpy, w, &r, &child, &rx, &ry, &wx, &wy, &mask) || child == None) break;
      std::printf("0x%lx\n", child);
      ++n;
      w = child;
    }
    if (n == 0) std::printf("root\n");
    return 0;
  }
  if ((cmd == "paint-root" || cmd == "backdrop") && argc == 3) {
    // A colour the clock never uses makes "see-through" pixels unmistakable in a screenshot.
    char* end = nullptr;
    unsigned long rgb = std::strtoul(argv[2], &end, 16);
    if (!end || *end || std::strlen(argv[2]) != 6) {
      Usage();
      return 2;
    }
    XColor c{};
    c.red = static_cast<unsigned short>(((rgb >> 16) & 0xff) * 257);
    c.green = static_cast<unsigned short>(((rgb >> 8) & 0xff) * 257);
    c.blue = static_cast<unsigned short>((rgb & 0xff) * 257);
    c.flags = DoRed | DoGreen | DoBlue;
    if (!XAllocColor(dpy, DefaultColormap(dpy, DefaultScreen(dpy)), &c)) return 1;
    if (cmd == "backdrop") return Backdrop(c.pixel);
    // The background is a window attribute: it outlives this client (with Xvfb -noreset).
    XSetWindowBackground(dpy, root, c.pixel);
    XClearWindow(dpy, root);
    XSync(dpy, False);
    return 0;
  }
  if (cmd == "paint-root-pattern" && argc == 2) return PaintRootPattern();
  if (cmd == "shape-rects" && argc == 3) {
    int n = 0, order = 0;
    XRectangle* r = XShapeGetRectangles(dpy, std::strtoul(argv[2], nullptr, 0), ShapeBounding, &n, &order);
    if (r) XFree(r);
    std::printf("%d\n", n);
    return 0;
  }
  if (cmd == "own" && argc == 3) {
    Window w = XCreateSimpleWindow(dpy, root, 0, 0, 1, 1, 0, 0, 0);
    const Atom sel = XInternAtom(dpy, argv[2], False);
    XSetSelectionOwner(dpy, sel, w, CurrentTime);
    if (XGetSelectionOwner(dpy, sel) != w) return 1;
    std::printf("owned\n");
    std::fflush(stdout);
    for (;;) {
      XEvent e;
      XNextEvent(dpy, &e);
      if (e.type == SelectionClear) return 0;
    }
  }
  if (cmd == "pattern-rgb" && argc == 4) {
    unsigned long rgb = PatternRgb(std::atoi(argv[2]), std::atoi(argv[3]));
    std::printf("%lu,%lu,%lu\n", (rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
    return 0;
  }
  Usage();
  return 2;
}
