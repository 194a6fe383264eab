// Finding a top-level window by its caption.
#include <X11/Xatom.h>

#include "platform/window_search.h"
#include "platform/x11/x11_internal.h"

namespace plat {
namespace {

using x11::Server;

std::string TextProperty(::Window w, Atom property, Atom type) {
  Atom actual;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  std::string s;
  if (XGetWindowProperty(Server().dpy, w, property, 0, 1024, False, type, &actual, &format, &n, &after,
                         &data) == Success &&
      data && format == 8)
    s.assign(reinterpret_cast<char*>(data), n);
  if (data) XFree(data);
  return s;
}

bool HasProperty(::Window w, Atom property) {
  Atom actual = None;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  XGetWindowProperty(Server().dpy, w, property, 0, 0, False, AnyPropertyType, &actual, &format, &n,
                     &after, &data);
  if (data) XFree(data);
  return actual != None;
}

bool CaptionIs(::Window w, const std::string& title) {
  std::string utf8 = TextProperty(w, Server().atom.netWmName, Server().atom.utf8String);
  if (!utf8.empty()) return SameCaption(utf8, title);
  return SameCaption(TextProperty(w, XA_WM_NAME, AnyPropertyType), title);
}

// Top-level windows are the root's children and, under a window manager, the client windows
// (those with WM_STATE) inside its frames. Controls are never top-level.
::Window Search(::Window w, const std::string& title, int depth, bool topLevel) {
  if (topLevel && CaptionIs(w, title)) return w;
  if (depth == 0) return 0;
  ::Window root, parent, *children = nullptr;
  unsigned n = 0;
  if (!XQueryTree(Server().dpy, w, &root, &parent, &children, &n)) return 0;  // vanished meanwhile
  ::Window found = 0;
  for (unsigned i = 0; i < n && !found; ++i) {
    bool top = w == Server().root || HasProperty(children[i], Server().atom.wmState);
    found = Search(children[i], title, depth - 1, top);
  }
  if (children) XFree(children);
  return found;
}

}  // namespace

WindowHandle FindWindowA(const char* className, const char* windowName) {
  if (className || !windowName) return 0;
  // Errors from windows that disappear during the walk go to the non-fatal handler.
  XSync(Server().dpy, False);
  return Search(Server().root, windowName, 4, false);
}

}  // namespace plat
