// The program's windows and controls on the desktop's accessibility bus (AT-SPI over D-Bus), for
// screen readers. Without a bus every call here returns at once and nothing is loaded.
#pragma once
#include <X11/Xlib.h>

#include <cstdint>

#include "platform/forms.h"

namespace plat::x11::atspi {

// Starts finding the accessibility bus and registering the application with its registry,
// without waiting for either; from then on a bus announced on the root window is joined as it
// comes.
void Start();
// A property of the root window changed: true when it was the bus's (and handled).
bool RootPropertyChanged(const XPropertyEvent& event);
// The bus connection's descriptor for the event loop's sleep; -1 without a bus.
int Fd();
// What the sleep waits for on it (poll() events): writability only while messages are queued.
short Events();
// The sleep saw the descriptor ready (revents of poll()).
void Ready(short revents);
// Milliseconds until joining the bus has something to do by the clock (a try to make again, a
// time limit); -1 when nothing. The sleep ends then, and HasWork does it.
std::int64_t MsUntilDue();
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
