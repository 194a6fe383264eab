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

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <set>
#include <string>

#include "platform/app.h"
#include "platform/common/access.h"
#include "platform/posix/deadline.h"
#include "platform/x11/x11_atspi_objects.h"
#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11::atspi {
namespace {

// Joining the bus (the session bus asked for its address, the bus opened, the registry's Embed)
// has a second in all, the session bus's own time-out; the registry starts on demand within it.
// It runs beside the clock, a step whenever the loop's poll sees the socket ready, so the
// seconds never wait for it. A try that fails is made again after a pause that doubles, from a
// second up to a minute.
constexpr int kJoinMs = 1000;
constexpr std::int64_t kFirstRestMs = 1000, kLongestRestMs = 60'000;

enum class Join { kNone, kAskSession, kOpenBus, kEmbed, kJoined, kResting };
Join g_join = Join::kNone;
posix::Deadline g_joinUntil = posix::Deadline::Never();
std::int64_t g_restUntilMs = 0, g_restMs = 0;
std::uint32_t g_waitFor = 0;          // serial of the call whose reply the join waits for
DBusConnection* g_session = nullptr;  // while asking the session bus for the address
DBusConnection* g_bus = nullptr;      // the accessibility bus, joined once g_join is kJoined
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
  delete g_session;
  g_session = nullptr;
  delete g_bus;
  g_bus = nullptr;
  g_join = Join::kNone;
  g_address.clear();
  g_presses.clear();
  ReadersGone();
}

// The join failed: said (once for each cause), and tried again after a rest.
void Rest(const std::string& why) {
  if (!why.empty()) SayOnce(why + "; screen readers will not see the clock");
  Drop();
  g_restMs = g_restMs == 0 ? kFirstRestMs : std::min(g_restMs * 2, kLongestRestMs);
  g_restUntilMs = posix::MonotonicMs() + g_restMs;
  g_join = Join::kResting;
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

}  // namespace

DBusConnection* Bus() { return g_join == Join::kJoined ? g_bus : nullptr; }

void Send(DBusMessage message, const std::string& key) {
  if (g_join == Join::kJoined && !g_bus->Send(std::move(message), key)) Drop();
}

void QueuePress(unsigned id) { g_presses.push_back(id); }

namespace {

std::string EnvAddress() {
  const char* env = std::getenv("AT_SPI_BUS_ADDRESS");
  return env ? env : "";
}

// The connection the join is on now.
DBusConnection* Joining() {
  if (g_join == Join::kAskSession) return g_session;
  if (g_join == Join::kOpenBus || g_join == Join::kEmbed) return g_bus;
  return nullptr;
}

void OpenBus(const std::string& address);

// Finds the bus and starts joining it: the address from the environment, the root window, or
// the session bus's launcher (asked without starting one: a desktop without the launcher has no
// screen reader either).
void StartJoin() {
  Drop();
  g_joinUntil = posix::Deadline::In(kJoinMs);
  std::string address = EnvAddress();
  if (address.empty()) address = RootProperty();
  if (!address.empty()) return OpenBus(address);
  const char* session = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (!session || !*session) return;
  if (!AddressValid(session)) {
    SayOnce("DBUS_SESSION_BUS_ADDRESS is not a valid bus address (a bad %-escape); screen readers "
            "will not see the clock");
    return;
  }
  g_session = new DBusConnection;
  g_join = Join::kAskSession;
  if (g_session->BeginOpen(session) == DBusConnection::Opening::kFailed) Rest("");
}

void OpenBus(const std::string& address) {
  g_bus = new DBusConnection;
  g_address = address;
  g_join = Join::kOpenBus;
  if (g_bus->BeginOpen(address) == DBusConnection::Opening::kFailed)
    Rest("cannot connect to the accessibility bus (" + g_bus->Error() + ")");
}

// Takes the join a step on: the socket was ready (revents), or time passed.
void StepJoin(short revents) {
  DBusConnection* c = Joining();
  if (!c) return;
  if (g_joinUntil.Passed()) {
    c->GiveUpOpening(kJoinMs);
    if (g_join == Join::kOpenBus)
      return Rest("cannot connect to the accessibility bus (" + c->Error() + ")");
    return Rest(g_join == Join::kEmbed ? "the accessibility registry did not answer within 1 s" : "");
  }
  if (g_join == Join::kAskSession || g_join == Join::kOpenBus) {
    const DBusConnection::Opening step = c->Advance(revents);
    if (step == DBusConnection::Opening::kGoing) return;
    if (step == DBusConnection::Opening::kFailed) {
      if (g_join == Join::kOpenBus)
        return Rest("cannot connect to the accessibility bus (" + c->Error() + ")");
      return Rest("");  // no session bus to ask: nobody to read the clock either
    }
    if (g_join == Join::kAskSession) {
      DBusMessage call = MethodCall("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress");
      call.flags = 2;  // no auto-start
      if (!c->Send(std::move(call))) return Rest("");
    } else {
      // The registry makes the application a child of the desktop; its reply names the desktop.
      DBusMessage embed =
          MethodCall("org.a11y.atspi.Registry", kRootPath, "org.a11y.atspi.Socket", "Embed");
      DBusWriter(embed).Ref(c->UniqueName(), kRootPath);
      if (!c->Send(std::move(embed))) return Rest("");
      g_join = Join::kEmbed;
    }
    g_waitFor = c->LastSerial();
    revents = 0;
  }
  if ((revents & POLLOUT) && !c->WriteQueued()) return Rest("");
  if ((revents & (POLLIN | POLLHUP | POLLERR)) && !c->ReadAvailable()) return Rest("");
  DBusMessage reply;
  if (!c->TakeReply(g_waitFor, reply)) return;
  if (g_join == Join::kAskSession) {
    const std::string address = reply.type == kMethodReturn ? DBusArgs(reply).Str(0) : "";
    delete g_session;
    g_session = nullptr;
    g_join = Join::kNone;
    if (!address.empty()) OpenBus(address);  // none: no launcher on this session
    return;
  }
  if (reply.type != kMethodReturn) {
    Drop();  // no registry: nobody could find us
    return;
  }
  g_join = Join::kJoined;
  g_restMs = 0;
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
  StartJoin();
}

bool RootPropertyChanged(const XPropertyEvent& e) {
  if (g_busAtom == None || e.window != Server().root || e.atom != g_busAtom) return false;
  if (e.state != PropertyNewValue) return true;
  // A bus that went away may not have been noticed yet.
  if (g_join == Join::kJoined && !g_bus->ReadAvailable()) Drop();
  const std::string address = EnvAddress().empty() ? RootProperty() : EnvAddress();
  if (g_bus && address == g_address) return true;
  // A new bus: joined afresh, with no rest owed from the old one.
  g_restMs = 0;
  StartJoin();
  return true;
}

int Fd() {
  if (DBusConnection* c = Joining()) return c->Fd();
  return g_join == Join::kJoined ? g_bus->Fd() : -1;
}

short Events() {
  DBusConnection* c = Joining();
  if (!c && g_join == Join::kJoined) c = g_bus;
  return c && c->WantsWrite() ? POLLIN | POLLOUT : POLLIN;
}

void Ready(short revents) {
  if (Joining()) return StepJoin(revents);
  if (g_join != Join::kJoined) return;
  if (revents & (POLLIN | POLLHUP | POLLERR)) g_readable = true;
  if (revents & POLLNVAL) Drop();
  else if ((revents & POLLOUT) && !g_bus->WriteQueued()) Drop();
}

std::int64_t MsUntilDue() {
  const std::int64_t now = posix::MonotonicMs();
  if (g_join == Join::kResting) return std::max<std::int64_t>(0, g_restUntilMs - now);
  DBusConnection* c = Joining();
  if (!c) return -1;
  std::int64_t due = g_joinUntil.LeftMs();
  if (c->RetryAtMs() >= 0) due = std::min(due, std::max<std::int64_t>(0, c->RetryAtMs() - now));
  return due;
}

bool HasWork() {
  // What is due by the clock: a rest that is over, a busy listener to ask again, a join whose
  // time ran out.
  if (g_join == Join::kResting && posix::MonotonicMs() >= g_restUntilMs) StartJoin();
  if (Joining() && MsUntilDue() == 0) StepJoin(0);
  if (g_join != Join::kJoined) return false;
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
  while (g_join == Join::kJoined && g_bus->HasMessage()) {
    const DBusMessage m = g_bus->Take();
    if (m.type != kMethodCall || g_bus->AnswerPeer(m) || HandleCall(m)) continue;
    // Every call gets an answer, on any path: a caller must not wait for its time-out.
    if (!(m.flags & 1)) Send(ErrorFor(m, kErrorUnknownObject, "no such object: " + m.path));
  }
  if (g_join == Join::kJoined) g_bus->GiveBackMemory();
  // After the replies went: a press may open a modal window, whose loop comes back here.
  while (!g_presses.empty()) {
    const unsigned id = g_presses.front();
    g_presses.pop_front();
    if (Control* c = ControlOf(id)) AccessPress(*c);
  }
}

}  // namespace plat::x11::atspi
