#!/usr/bin/python3
"""A hostile or plain client on the accessibility bus, for the bus fault tests (GLib's D-Bus).

The accessibility bus is the one whose address the session bus's org.a11y.Bus gives out.

  bus_client.py find APP              the bus name of the application named APP (exit 3: none)
  bus_client.py name BUS              the Name of BUS's root object
  bus_client.py call BUS PATH IFACE MEMBER   prints "return", the error's name or "noreply"
  bus_client.py big BUS BYTES         a call whose string argument is BYTES long; as for call
  bus_client.py flood BUS N [BYTES]   N calls sent at once (each with a string of BYTES), none of
                                      their replies read
  bus_client.py daemon                the process id of the accessibility bus's daemon
"""
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

ROOT = "/org/a11y/atspi/accessible/root"
TIMEOUT_MS = 5000


def a11y_bus():
    session = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    reply = session.call_sync("org.a11y.Bus", "/org/a11y/bus", "org.a11y.Bus", "GetAddress", None,
                              GLib.VariantType("(s)"), Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)
    flags = (Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT
             | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    return Gio.DBusConnection.new_for_address_sync(reply.unpack()[0], flags, None, None)


def outcome(bus, dest, path, iface, member, args=None):
    try:
        bus.call_sync(dest, path, iface, member, args, None, Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)
        return "return"
    except GLib.Error as e:
        name = Gio.DBusError.get_remote_error(e)
        if name:
            return name
        return "noreply" if e.matches(Gio.io_error_quark(), Gio.IOErrorEnum.TIMED_OUT) else e.message


def root_name(bus, dest):
    reply = bus.call_sync(dest, ROOT, "org.freedesktop.DBus.Properties", "Get",
                          GLib.Variant("(ss)", ("org.a11y.atspi.Accessible", "Name")), None,
                          Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)
    return reply.unpack()[0]


def main(argv):
    bus = a11y_bus()
    command = argv[1]
    if command == "find":
        names = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "ListNames", None, None, Gio.DBusCallFlags.NONE, TIMEOUT_MS,
                              None).unpack()[0]
        for name in names:
            if name.startswith(":"):
                try:
                    if root_name(bus, name) == argv[2]:
                        print(name)
                        return 0
                except GLib.Error:
                    pass
        return 3
    if command == "daemon":
        reply = bus.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                              "GetConnectionUnixProcessID", GLib.Variant("(s)", ("org.freedesktop.DBus",)),
                              None, Gio.DBusCallFlags.NONE, TIMEOUT_MS, None)
        print(reply.unpack()[0])
    elif command == "name":
        print(root_name(bus, argv[2]))
    elif command == "call":
        print(outcome(bus, argv[2], argv[3], argv[4], argv[5]))
    elif command == "big":
        arg = GLib.Variant("(ss)", ("x" * int(argv[3]), "Name"))
        print(outcome(bus, argv[2], ROOT, "org.freedesktop.DBus.Properties", "Get", arg))
    elif command == "flood":
        padding = "x" * int(argv[4]) if len(argv) > 4 else ""
        for serial in range(int(argv[3])):
            m = Gio.DBusMessage.new_method_call(argv[2], ROOT, "org.freedesktop.DBus.Properties",
                                                "GetAll")
            m.set_body(GLib.Variant("(ss)" if padding else "(s)",
                                    ("org.a11y.atspi.Accessible", padding)[:2 if padding else 1]))
            bus.send_message(m, Gio.DBusSendMessageFlags.NONE)
        bus.flush_sync(None)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
