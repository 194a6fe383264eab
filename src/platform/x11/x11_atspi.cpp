// The AT-SPI objects: the application, its shown forms and their controls, served on a
// connection to the accessibility bus (our own small D-Bus client: posix/dbus_client.h). The
// interfaces are implemented directly rather than through ATK and its bridge, which would bring
// GLib and its main loop into a program whose loop is its own, and cost memory even with nobody
// listening.
//
// Nothing is sent while nobody asks: a cell's new caption goes out as a name change only once a
// client has read that cell's name, so an idle screen reader gets the seconds it is reading and
// not every tier's slide.
#include "platform/x11/x11_atspi.h"

#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <string>

#include "platform/app.h"
#include "platform/common/access.h"
#include "platform/x11/x11_atspi_objects.h"
#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11::atspi {
namespace {

constexpr int kCallTimeoutMs = 1000;  // start-up's calls; the registry starts on demand

DBusConnection* g_bus = nullptr;
std::string g_address;  // g_bus's
Atom g_busAtom = None;  // AT_SPI_BUS, watched on the root once Start ran
bool g_readable = false;
std::deque<unsigned> g_presses;  // ids of controls a client pressed, run after the calls

// Says what keeps the clock off the bus, each thing once however often it comes back.
void SayOnce(const std::string& text) {
  static std::set<std::string> said;
  if (said.insert(text).second) std::fprintf(stderr, "zorvane: %s\n", text.c_str());
}

void Drop() {
  delete g_bus;
  g_bus = nullptr;
  g_address.clear();
  g_presses.clear();
  ReadersGone();
}

// The root window's AT_SPI_BUS, where a bus launcher publishes the address on X.
std::string RootProperty() {
  Display* dpy = Server().dpy;
  const Atom atom = g_busAtom;
  if (atom == None) return "";
  Atom type;
  int format;
  unsigned long n = 0, after = 0;
  unsigned char* data = nullptr;
  std::string address;
  if (XGetWindowProperty(dpy, Server().root, atom, 0, 1024, False, AnyPropertyType, &type, &format, &n,
                         &after, &data) == Success &&
      data && format == 8)
    address.assign(reinterpret_cast<char*>(data), n);
  if (data) XFree(data);
  return address;
}

// Asks the session bus's accessibility launcher for its bus, without starting one.
std::string AskSessionBus(const char* session) {
  if (!AddressValid(session)) {
    SayOnce("DBUS_SESSION_BUS_ADDRESS is not a valid bus address (a bad %-escape); screen readers "
            "will not see the clock");
    return "";
  }
  DBusConnection bus;
  if (!bus.Open(session)) return "";
  DBusMessage call = MethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
  call.flags = 2;  // no auto-start: a desktop without the launcher has no screen reader either
  DBusMessage reply;
  if (!bus.Call(std::move(call), kCallTimeoutMs, reply) || reply.type != kMethodReturn) return "";
  return DBusArgs(reply).Str(0);
}

}  // namespace

DBusConnection* Bus() { return g_bus; }

void Send(DBusMessage message, const std::string& key) {
  if (g_bus && !g_bus->Send(std::move(message), key)) Drop();
}

void QueuePress(unsigned id) { g_presses.push_back(id); }

namespace {

std::string EnvAddress() {
  const char* env = std::getenv("AT_SPI_BUS_ADDRESS");
  return env ? env : "";
}

// Finds the bus and registers the application with its registry.
void Connect() {
  std::string address = EnvAddress();
  if (address.empty()) address = RootProperty();
  const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address.empty() && session && *session) address = AskSessionBus(session);
  if (address.empty()) return;
  g_bus = new DBusConnection;
  if (!g_bus->Open(address)) {
    SayOnce("cannot connect to the accessibility bus (" + g_bus->Error() +
            "); screen readers will not see the clock");
    Drop();
    return;
  }
  g_address = address;
  // The registry makes the application a child of the desktop; its reply names the desktop.
  DBusMessage embed = MethodCall("org.a11y.atspi.Registry", kRootPath, "org.a11y.atspi.Socket", "Embed");
  DBusWriter(embed).Ref(g_bus->UniqueName(), kRootPath);
  DBusMessage reply;
  if (!g_bus->Call(std::move(embed), kCallTimeoutMs, reply) || reply.type != kMethodReturn) {
    Drop();  // no registry: nobody could find us
    return;
  }
  SetDesktop(DBusArgs(reply).Str(0));
}

}  // namespace

void Start() {
  // GTK's switch, honoured the same way: a user (or a benchmark) can keep the program off the bus.
  if (const char* off = std::getenv("NO_AT_BRIDGE"); off && std::strcmp(off, "1") == 0) return;
  // A launcher (re)started announces its bus on the root window: that is when to connect again.
  // The X connection is watched anyway, so this costs no polling and no second socket; the
  // session bus's NameOwnerChanged for org.a11y.Bus would need a connection to it kept open.
  Display* d = Server().dpy;
  g_busAtom = XInternAtom(d, "AT_SPI_BUS", False);
  XWindowAttributes root{};
  XGetWindowAttributes(d, Server().root, &root);
  XSelectInput(d, Server().root, root.your_event_mask | PropertyChangeMask);
  Connect();
}

bool RootPropertyChanged(const XPropertyEvent& e) {
  if (g_busAtom == None || e.window != Server().root || e.atom != g_busAtom) return false;
  if (e.state != PropertyNewValue) return true;
  // A bus that went away may not have been noticed yet.
  if (g_bus && !g_bus->ReadAvailable()) Drop();
  const std::string address = EnvAddress().empty() ? RootProperty() : EnvAddress();
  if (g_bus && address == g_address) return true;
  Drop();
  Connect();
  return true;
}

int Fd() { return g_bus ? g_bus->Fd() : -1; }

short Events() { return g_bus && g_bus->WantsWrite() ? POLLIN | POLLOUT : POLLIN; }

void Ready(short revents) {
  if (revents & (POLLIN | POLLHUP | POLLERR)) g_readable = true;
  if (revents & POLLNVAL) Drop();
  else if ((revents & POLLOUT) && g_bus && !g_bus->WriteQueued()) Drop();
}

bool HasWork() {
  if (!g_bus) return false;
  if (g_readable) {
    g_readable = false;
    if (!g_bus->ReadAvailable()) {  // the bus went away: carry on without it
      Drop();
      return false;
    }
  }
  return g_bus->HasMessage() || !g_presses.empty();
}

void Pump() {
  if (!HasWork()) return;
  while (g_bus && g_bus->HasMessage()) {
    const DBusMessage m = g_bus->Take();
    if (m.type != kMethodCall || g_bus->AnswerPeer(m) || HandleCall(m)) continue;
    // Every call gets an answer, on any path: a caller must not wait for its time-out.
    if (!(m.flags & 1)) Send(ErrorFor(m, kErrorUnknownObject, "no such object: " + m.path));
  }
  if (g_bus) g_bus->GiveBackMemory();
  // After the replies went: a press may open a modal window, whose loop comes back here.
  while (!g_presses.empty()) {
    const unsigned id = g_presses.front();
    g_presses.pop_front();
    if (Control* c = ControlOf(id)) AccessPress(*c);
  }
}

}  // namespace plat::x11::atspi
