#!/usr/bin/python3
"""A small screen-reader stand-in for the accessibility tests, on the desktop's AT-SPI bus.

  atspi_client.py tree APP            one line per object: depth|role|name|states (sorted)
  atspi_client.py press APP NAME      runs the "click" action of the first object so named
  atspi_client.py listen MS TYPE...   prints type|role|name|detail1 per event for MS ms, after
                                      a first line "listening"
Exit status 3: no application of that name on the bus (yet).
"""
import signal
import sys

import pyatspi
from gi.repository import GLib


def app_named(name):
    desktop = pyatspi.Registry.getDesktop(0)
    for i in range(desktop.childCount):
        app = desktop.getChildAtIndex(i)
        if app is not None and app.name == name:
            return app
    sys.exit(3)


def walk(obj, depth=0):
    yield depth, obj
    for i in range(obj.childCount):
        yield from walk(obj.getChildAtIndex(i), depth + 1)


def states(obj):
    return ",".join(sorted(pyatspi.stateToString(s) for s in obj.getState().getStates()))


def main(argv):
    command = argv[1]
    if command == "tree":
        for depth, obj in walk(app_named(argv[2])):
            print(f"{depth}|{obj.getRoleName()}|{obj.name}|{states(obj)}")
    elif command == "press":
        for _, obj in walk(app_named(argv[2])):
            if obj.name == argv[3]:
                print("pressed" if obj.queryAction().doAction(0) else "refused")
                return
        print("no such object")
    elif command == "listen":
        def heard(event):
            src = event.source
            print(f"{event.type}|{src.getRoleName()}|{src.name}|{event.detail1}", flush=True)
        pyatspi.Registry.registerEventListener(heard, *argv[3:])
        GLib.timeout_add(int(argv[2]), pyatspi.Registry.stop)
        # Ended early by the test: stop as at the time-out (the loop keeps Python's own handler
        # from running).
        GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, pyatspi.Registry.stop)
        GLib.idle_add(lambda: print("listening", flush=True) and False)
        pyatspi.Registry.start()


if __name__ == "__main__":
    main(sys.argv)
