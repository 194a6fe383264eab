// What x11_atspi.cpp (the connection) and x11_atspi_objects.cpp (the objects) share.
#pragma once
#include <string>

#include "platform/forms.h"
#include "platform/posix/dbus_client.h"

namespace plat::x11::atspi {

using namespace plat::posix;  // the D-Bus client

inline constexpr const char* kRootPath = "/org/a11y/atspi/accessible/root";

// The connection to the accessibility bus; null without one.
DBusConnection* Bus();
// Sends on it, if there is one. A queued message of the same key (not empty) is replaced.
void Send(DBusMessage message, const std::string& key = "");
// Presses the control with this id once the calls at hand are answered.
void QueuePress(unsigned id);
// The registry that embedded the application: its parent is the registry's desktop.
void SetDesktop(const std::string& busName);
// Answers a method call on one of the application's objects; false when it is not for them.
bool HandleCall(const DBusMessage& call);
// The bus went away: nobody has read a name any more.
void ReadersGone();
// The control behind an id, while it lives.
Control* ControlOf(unsigned id);

}  // namespace plat::posix::atspi
