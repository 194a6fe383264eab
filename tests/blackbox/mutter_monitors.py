#!/usr/bin/python3
"""Monitors plugged in and out on mutter's headless Wayland session, for the black-box tests:
its display-configuration interface on its session bus, as GNOME's display settings use it.

  mutter_monitors.py CONNECTOR,X,Y[*]...   the monitors that stay on, where they stand, the one
                                           marked * primary; every other one goes off

The connectors are mutter's (Meta-0 for its first --virtual-monitor). Each monitor keeps the mode
it was made with. Exit status 1 when mutter refuses the layout, 2 on bad usage.
"""
import sys

from gi.repository import Gio, GLib

NAME = 'org.gnome.Mutter.DisplayConfig'
TEMPORARY = 1


def main(wanted):
    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    config = Gio.DBusProxy.new_sync(bus, 0, None, NAME, '/org/gnome/Mutter/DisplayConfig', NAME,
                                    None)
    serial, monitors, _, _ = config.call_sync('GetCurrentState', None, 0, -1, None).unpack()
    modes = {}
    for (connector, _, _, _), monitor_modes, _ in monitors:
        preferred = [m[0] for m in monitor_modes if m[6].get('is-preferred')]
        modes[connector] = (preferred or [monitor_modes[0][0]])[0]
    layout = []
    for one in wanted:
        try:
            connector, x, y = one.rstrip('*').split(',')
            layout.append((int(x), int(y), 1.0, 0, one.endswith('*'),
                           [(connector, modes[connector], {})]))
        except (ValueError, KeyError):
            print(f'mutter_monitors.py: bad monitor {one!r} (have {sorted(modes)})', file=sys.stderr)
            return 2
    try:
        config.call_sync('ApplyMonitorsConfig', GLib.Variant(
            '(uua(iiduba(ssa{sv}))a{sv})', (serial, TEMPORARY, layout, {})), 0, -1, None)
    except GLib.Error as e:
        print(f'mutter_monitors.py: {e.message}', file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]) if len(sys.argv) > 1 else 2)
