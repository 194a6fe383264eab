// The program's windows and controls on the desktop's accessibility bus (AT-SPI over D-Bus), for
// screen readers. Without a bus every call here returns at once and nothing is loaded.
#pragma once
#include <X11/Xlib.h>

#include "platform/forms.h"

namespace plat::x11::atspi {

// Finds the accessibility bus and registers the application with its registry; from then on
// a bus announced on the root window is connected to as it comes.
void Start();
// A property of the root window changed: true when it was the bus's (and handled).
bool RootPropertyChanged(const XPropertyEvent& event);
// The bus connection's descriptor for the event loop's sleep; -1 without a bus.
int Fd();
// What the sleep waits for on it (poll() events): writability only while messages are queued.
short Events();
// The sleep saw the descriptor ready (revents of poll()).
void Ready(short revents);
// Whether calls or presses wait to be handled; reads what the bus sent, without waiting.
bool HasWork();
// Handles the calls that came, then the presses they asked for.
void Pump();

// What the backend tells a reader about.
void FormShown(Form& form);
void FormHidden(Form& form);
void FormGone(Form& form);
void FormActive(Form& form, bool active);
void FocusChanged(Control& control, bool focused);
void CheckChanged(Control& control);
void TextChanged(Control& control);

}  // namespace plat::x11::atspi
