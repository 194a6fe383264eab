#!/usr/bin/python3
"""A pointer for the black-box tests on mutter's Wayland session, where XTEST moves only
XWayland's own pointer: mutter's remote-desktop interface on its session bus.

  mutter_pointer.py STEP...     STEP: move X Y | down | up | sleep SECONDS (button 1)

The same steps as wlpointer. The interface moves the pointer only by relative amounts without a
screen-cast stream, so the pointer is first pushed into the top-left corner (0,0) and each move
is the difference from where it was. Virtual devices get no acceleration. Exit status 1 when
mutter refuses, 2 on bad usage.
"""
import sys
import time

from gi.repository import Gio, GLib

BTN_LEFT = 0x110  # linux/input-event-codes.h
NAME = 'org.gnome.Mutter.RemoteDesktop'


def main(steps):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)

    def proxy(path, iface):
        return Gio.DBusProxy.new_sync(bus, 0, None, NAME, path, iface, None)

    def call(p, method, args=None):
        p.call_sync(method, args, 0, -1, None)

    path = proxy('/org/gnome/Mutter/RemoteDesktop', NAME).call_sync(
        'CreateSession', None, 0, -1, None).unpack()[0]
    session = proxy(path, NAME + '.Session')
    call(session, 'Start')
    call(session, 'NotifyPointerMotionRelative', GLib.Variant('(dd)', (-100000.0, -100000.0)))
    x = y = 0
    time.sleep(0.3)
    i = 0
    while i < len(steps):
        step = steps[i]
        if step == 'move':
            nx, ny = int(steps[i + 1]), int(steps[i + 2])
            call(session, 'NotifyPointerMotionRelative', GLib.Variant('(dd)', (nx - x, ny - y)))
            x, y = nx, ny
            i += 3
        elif step in ('down', 'up'):
            call(session, 'NotifyPointerButton', GLib.Variant('(ib)', (BTN_LEFT, step == 'down')))
            i += 1
        elif step == 'sleep':
            time.sleep(float(steps[i + 1]))
            i += 2
        else:
            print(f'mutter_pointer: bad step {step}', file=sys.stderr)
            return 2
    call(session, 'Stop')
    return 0


if __name__ == '__main__':
    try:
        sys.exit(main(sys.argv[1:]))
    except GLib.Error as e:
        print(f'mutter_pointer: {e.message}', file=sys.stderr)
        sys.exit(1)
