// Whether a compositor blends our windows, followed while the clock runs: a compositor is the
// owner of the _NET_WM_CM_S<screen> selection, and XFixes tells when that owner comes or goes
// (a window manager replaced by one that does not composite, a compositor killed). XWayland is
// always composited.
#include <X11/extensions/Xfixes.h>

#include <string>

#include "platform/x11/x11_internal.h"

namespace plat::x11 {
namespace {

Atom g_selection = None;
int g_fixesEvent = -1;  // XFixes' first event code; -1 without XFixes
bool g_composited = false;

bool OwnedNow() {
  const Connection& c = Server();
  return c.xwayland || (g_selection != None && XGetSelectionOwner(c.dpy, g_selection) != None);
}

}  // namespace

void WatchCompositing() {
  Connection& c = Server();
  const std::string name = "_NET_WM_CM_S" + std::to_string(c.screen);
  g_selection = XInternAtom(c.dpy, name.c_str(), False);
  int error = 0;
  if (!c.xwayland && XFixesQueryExtension(c.dpy, &g_fixesEvent, &error)) {
    int major = 0, minor = 0;
    XFixesQueryVersion(c.dpy, &major, &minor);
    XFixesSelectSelectionInput(c.dpy, c.root, g_selection,
                               XFixesSetSelectionOwnerNotifyMask |
                                   XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
  } else {
    g_fixesEvent = -1;
  }
  g_composited = OwnedNow();
}

bool CompositedNow() {
  // Without XFixes no change is heard of: asked each time (a new window, a screen capture).
  if (g_fixesEvent < 0 && g_selection != None) g_composited = OwnedNow();
  return g_composited;
}

bool HandleCompositingEvent(XEvent& ev) {
  if (g_fixesEvent < 0 || ev.type != g_fixesEvent + XFixesSelectionNotify) return false;
  const auto& notice = reinterpret_cast<XFixesSelectionNotifyEvent&>(ev);
  if (notice.selection != g_selection) return true;
  const bool now = notice.subtype == XFixesSetSelectionOwnerNotify && notice.owner != None;
  if (now == g_composited) return true;
  g_composited = now;
  // Windows whose see-through parts relied on the compositor (or on its absence) redo them.
  TellCompositingChanged();
  return true;
}

}  // namespace plat::x11
