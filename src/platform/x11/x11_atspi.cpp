// The AT-SPI objects: the application, its shown forms and their controls, served on a private
// connection to the accessibility bus with libdbus (loaded at run time; see x11_dbus.h). The
// interfaces are implemented directly rather than through ATK and its bridge, which would bring
// GLib's main loop into a program whose loop is its own, and load GLib even without a bus.
//
// Nothing is sent while nobody asks: a cell's new caption goes out as a name change only once a
// client has read that cell's name, so an idle screen reader gets the seconds it is reading and
// not every tier's slide.
#include "platform/x11/x11_atspi.h"

#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/app.h"
#include "platform/common/access.h"
#include "platform/x11/x11_atspi_objects.h"
#include "platform/x11/x11_dbus.h"
#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11::atspi {
namespace {

constexpr int kCallTimeoutMs = 1000;  // start-up's two calls; the registry starts on demand

DBusConnection* g_bus = nullptr;
int g_fd = -1;
bool g_readable = false;
std::deque<unsigned> g_presses;  // ids of controls a client pressed, run after the calls

void Drop() {
  if (!g_bus) return;
  CloseBus(g_bus);
  g_bus = nullptr;
  g_fd = -1;
  g_presses.clear();
}

// A call on a bus, waiting at most kCallTimeoutMs for the reply's first string or reference.
std::string CallForString(DBusConnection* bus, DBusMessage* call) {
  const DBusLib& d = Dbus();
  DBusError err;
  d.dbus_error_init(&err);
  DBusMessage* reply = d.dbus_connection_send_with_reply_and_block(bus, call, kCallTimeoutMs, &err);
  d.dbus_message_unref(call);
  std::string result;
  if (reply) {
    DBusArgs args(reply);
    result = args.Str(0);
    d.dbus_message_unref(reply);
  }
  d.dbus_error_free(&err);
  return result;
}

// The root window's AT_SPI_BUS, where a bus launcher publishes the address on X.
std::string RootProperty() {
  Display* dpy = X().dpy;
  const Atom atom = XInternAtom(dpy, "AT_SPI_BUS", True);
  if (atom == None) return "";
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  std::string address;
  if (XGetWindowProperty(dpy, X().root, atom, 0, 1024, False, AnyPropertyType, &type, &format, &n,
                         &after, &data) == Success &&
      data && format == 8)
    address.assign(reinterpret_cast<char*>(data), n);
  if (data) XFree(data);
  return address;
}

// Asks the session bus's accessibility launcher for its bus, without starting one.
std::string AskSessionBus(const char* session) {
  DBusConnection* bus = OpenBus(session);
  if (!bus) return "";
  DBusMessage* call = Dbus().dbus_message_new_method_call("org.a11y.Bus", "/org/a11y/bus",
                                                          "org.a11y.Bus", "GetAddress");
  Dbus().dbus_message_set_auto_start(call, false);
  std::string address = CallForString(bus, call);
  CloseBus(bus);
  return address;
}

DBusHandlerResult Filter(DBusConnection*, DBusMessage* message, void*) {
  if (Dbus().dbus_message_get_type(message) == DBUS_MESSAGE_TYPE_METHOD_CALL &&
      HandleCall(message))
    return DBUS_HANDLER_RESULT_HANDLED;
  return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

}  // namespace

DBusConnection* Bus() { return g_bus; }

void QueuePress(unsigned id) { g_presses.push_back(id); }

void Start() {
  // GTK's switch, honoured the same way: a user (or a benchmark) can keep the program off the bus.
  if (const char* off = std::getenv("NO_AT_BRIDGE"); off && std::strcmp(off, "1") == 0) return;
  std::string address;
  if (const char* env = std::getenv("AT_SPI_BUS_ADDRESS"); env && *env) address = env;
  if (address.empty()) address = RootProperty();
  const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address.empty() && !(session && *session)) return;  // no bus: nothing loaded
  if (!LoadDBus()) return;
  if (address.empty()) address = AskSessionBus(session);
  if (!address.empty()) g_bus = OpenBus(address);
  if (!g_bus) {
    UnloadDBus();
    return;
  }
  const DBusLib& d = Dbus();
  d.dbus_connection_add_filter(g_bus, Filter, nullptr, nullptr);
  d.dbus_connection_get_unix_fd(g_bus, &g_fd);
  // The registry makes the application a child of the desktop; its reply names the desktop.
  DBusMessage* embed = d.dbus_message_new_method_call(
      "org.a11y.atspi.Registry", kRootPath, "org.a11y.atspi.Socket", "Embed");
  DBusWriter(embed).Ref(d.dbus_bus_get_unique_name(g_bus), kRootPath);
  DBusMessage* reply = d.dbus_connection_send_with_reply_and_block(g_bus, embed, kCallTimeoutMs,
                                                                   nullptr);
  d.dbus_message_unref(embed);
  if (!reply) {
    Drop();  // no registry: nobody could find us
    return;
  }
  SetDesktop(DBusArgs(reply).Str(0));
  d.dbus_message_unref(reply);
}

int Fd() { return g_fd; }

void Ready(short revents) {
  if (revents & (POLLHUP | POLLERR | POLLNVAL)) Drop();  // the bus went away: carry on without
  else if (revents & POLLIN) g_readable = true;
}

bool HasWork() {
  if (!g_bus) return false;
  const DBusLib& d = Dbus();
  if (g_readable) {
    g_readable = false;
    if (!d.dbus_connection_read_write(g_bus, 0)) {
      Drop();
      return false;
    }
  }
  return d.dbus_connection_get_dispatch_status(g_bus) == DBUS_DISPATCH_DATA_REMAINS ||
         !g_presses.empty();
}

void Pump() {
  if (!g_bus || !HasWork()) return;
  const DBusLib& d = Dbus();
  while (g_bus && d.dbus_connection_dispatch(g_bus) == DBUS_DISPATCH_DATA_REMAINS) {
  }
  if (g_bus) d.dbus_connection_flush(g_bus);
  // After the replies went: a press may open a modal window, whose loop comes back here.
  while (!g_presses.empty()) {
    const unsigned id = g_presses.front();
    g_presses.pop_front();
    if (Control* c = ControlOf(id)) AccessPress(*c);
  }
}

}  // namespace plat::x11::atspi
