// Starts a program and reports how long it took until a top-level window with a given title was
// viewable, then ends the program. Used by side_by_side.sh; one X round trip per check keeps it
// far cheaper than polling with xwininfo, which costs a fork and exec per try.
//
//   start_to_map TITLE TIMEOUT_MS PROGRAM [ARGS...]
//
// Prints "ms=<milliseconds> pid=<pid> size=<w>x<h>" on success (exit 0); exit 2 on time-out,
// 3 when the program ended before its window showed, 1 on a usage or display problem.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

extern char** environ;

namespace {

// Windows can vanish while we walk the tree; such errors are expected and harmless.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

double NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

bool HasTitle(Display* d, Window w, const std::string& title) {
  bool match = false;
  char* name = nullptr;
  if (XFetchName(d, w, &name) && name) {
    match = title == name;
    XFree(name);
  }
  if (match) return true;
  Atom netName = XInternAtom(d, "_NET_WM_NAME", True);
  Atom utf8 = XInternAtom(d, "UTF8_STRING", True);
  if (netName == None || utf8 == None) return false;
  Atom type;
  int format;
  unsigned long count, after;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(d, w, netName, 0, 256, False, utf8, &type, &format, &count, &after,
                         &data) == Success &&
      data) {
    match = type == utf8 && title == std::string(reinterpret_cast<char*>(data), count);
    XFree(data);
  }
  return match;
}

// Depth 4 reaches client windows inside window-manager frames as well as plain top-levels.
Window FindViewable(Display* d, Window parent, const std::string& title, int depth,
                    XWindowAttributes* found) {
  Window root, up, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(d, parent, &root, &up, &children, &n)) return 0;
  Window hit = 0;
  for (unsigned i = 0; i < n && !hit; ++i) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable) continue;
    if (HasTitle(d, children[i], title)) {
      *found = a;
      hit = children[i];
    } else if (depth > 1) {
      hit = FindViewable(d, children[i], title, depth - 1, found);
    }
  }
  if (children) XFree(children);
  return hit;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s TITLE TIMEOUT_MS PROGRAM [ARGS...]\n", argv[0]);
    return 1;
  }
  const std::string title = argv[1];
  const double timeoutMs = std::atof(argv[2]);
  Display* d = XOpenDisplay(nullptr);
  if (!d) {
    std::fprintf(stderr, "start_to_map: cannot open the display\n");
    return 1;
  }
  XSetErrorHandler(IgnoreXError);
  const Window root = DefaultRootWindow(d);
  XSelectInput(d, root, SubstructureNotifyMask);
  XWindowAttributes a{};

  // A window left by an earlier copy would be found at once (and would make the new copy think
  // it is already running): wait until it has gone.
  for (double until = NowMs() + 2000; FindViewable(d, root, title, 4, &a) && NowMs() < until;)
    usleep(5000);

  const double t0 = NowMs();
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[3], nullptr, nullptr, argv + 3, environ) != 0) {
    std::fprintf(stderr, "start_to_map: cannot start %s: %s\n", argv[3], std::strerror(errno));
    return 1;
  }

  int rc = 2;
  double t1 = 0;
  for (;;) {
    // Check whenever the root's children change; also every 5 ms, because under a window
    // manager the client window maps inside a frame, whose events we do not see.
    while (XPending(d)) {
      XEvent ev;
      XNextEvent(d, &ev);
    }
    if (FindViewable(d, root, title, 4, &a)) {
      t1 = NowMs();
      rc = 0;
      break;
    }
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) {
      pid = 0;
      rc = 3;
      break;
    }
    if (NowMs() - t0 > timeoutMs) break;
    pollfd p{ConnectionNumber(d), POLLIN, 0};
    poll(&p, 1, 5);
  }

  if (rc == 0)
    std::printf("ms=%.2f pid=%d size=%dx%d\n", t1 - t0, static_cast<int>(pid), a.width, a.height);
  else if (rc == 2)
    std::printf("timeout after %.0f ms\n", timeoutMs);
  else
    std::printf("program ended before its window showed\n");
  if (pid > 0) {
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
  }
  XCloseDisplay(d);
  return rc;
}
