// Watches the clock's seconds cell and reports how soon after each wall-clock second its caption
// changed. Used by side_by_side.sh.
//
//   caption_watch SECONDS [ROLE=Sec(1)]
//
// Finds the window whose WM_WINDOW_ROLE is ROLE, listens for PropertyNotify on its WM_NAME and
// stamps each change with CLOCK_REALTIME as it arrives. Prints one line:
//   changes=N late_p50_ms=.. late_p99_ms=.. late_max_ms=.. skipped=N repeated=N
// "late" is how far past the whole second the change arrived (delivery through the X server
// included, so it is an upper bound on the program's own delay); skipped and repeated count
// captions that did not follow the previous one by exactly one second. Exit 1 when the window
// is not found within 10 s.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int IgnoreXError(Display*, XErrorEvent*) { return 0; }  // windows vanish while we walk the tree

double RealtimeSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::string TextProperty(Display* d, Window w, Atom property) {
  Atom type;
  int format;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string text;
  if (XGetWindowProperty(d, w, property, 0, 64, False, AnyPropertyType, &type, &format, &count,
                         &after, &data) == Success &&
      data) {
    if (format == 8) text.assign(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return text;
}

Window FindRole(Display* d, Window w, Atom roleAtom, const std::string& role, int depth) {
  if (TextProperty(d, w, roleAtom) == role) return w;
  if (depth == 0) return 0;
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, w, &root, &parent, &kids, &n)) return 0;
  Window found = 0;
  for (unsigned i = 0; i < n && !found; ++i) found = FindRole(d, kids[i], roleAtom, role, depth - 1);
  if (kids) XFree(kids);
  return found;
}

double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t i = static_cast<size_t>(p * (v.size() - 1) + 0.5);
  return v[std::min(i, v.size() - 1)];
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s SECONDS [ROLE=Sec(1)]\n", argv[0]);
    return 1;
  }
  const double seconds = std::atof(argv[1]);
  const std::string role = argc > 2 ? argv[2] : "Sec(1)";
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "caption_watch: cannot open the display\n");
    return 1;
  }
  XSetErrorHandler(IgnoreXError);
  const Atom roleAtom = XInternAtom(d, "WM_WINDOW_ROLE", False);
  Window cell = 0;
  for (int tries = 0; tries < 100 && !cell; ++tries) {
    cell = FindRole(d, DefaultRootWindow(d), roleAtom, role, 5);
    if (!cell) {
      timespec pause{0, 100'000'000};
      nanosleep(&pause, nullptr);
    }
  }
  if (!cell) {
    std::fprintf(stderr, "caption_watch: no window with role %s\n", role.c_str());
    return 1;
  }
  XSelectInput(d, cell, PropertyChangeMask);
  XSync(d, False);

  std::vector<double> late;
  int skipped = 0, repeated = 0, last = -1;
  const double end = RealtimeSeconds() + seconds;
  for (;;) {
    double left = end - RealtimeSeconds();
    if (left <= 0) break;
    if (XPending(d) == 0) {
      pollfd p{ConnectionNumber(d), POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left * 1000) + 1) <= 0) continue;
    }
    XEvent ev;
    XNextEvent(d, &ev);
    if (ev.type != PropertyNotify || ev.xproperty.atom != XA_WM_NAME) continue;
    const double at = RealtimeSeconds();
    if (ev.xproperty.state != PropertyNewValue) continue;
    const int value = std::atoi(TextProperty(d, cell, XA_WM_NAME).c_str());
    late.push_back((at - static_cast<double>(static_cast<long long>(at))) * 1000);
    if (last >= 0) {  // the first change only tells where we are
      if (value == last) ++repeated;
      else if (value != (last + 1) % 60) ++skipped;
    }
    last = value;
  }
  std::printf("changes=%zu late_p50_ms=%.2f late_p99_ms=%.2f late_max_ms=%.2f skipped=%d repeated=%d\n",
              late.size(), Percentile(late, 0.5), Percentile(late, 0.99),
              late.empty() ? 0.0 : *std::max_element(late.begin(), late.end()), skipped, repeated);
  XCloseDisplay(d);
  return 0;
}
