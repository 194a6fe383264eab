// Program-wide runtime services: start-up of the platform, the application title, screen
// metrics, the message pump and ending the process.
#pragma once
#include <string>
#include <vector>

namespace plat {

// Opens the display and loads fonts. Returns an empty string on success, otherwise a one-line
// reason the program cannot run (the caller prints it and exits 1). Where the platform scales
// by a desktop setting of its own (X11's Xft.dpi), the scale is held to one at which a box of
// fitWidth x fitHeight logical pixels fits the primary monitor.
std::string Initialize(int fitWidth = 0, int fitHeight = 0);

// The title the platform knows the program by; it titles message boxes.
const std::string& AppTitle();
void SetAppTitle(const std::string& title);

// Always 15: a twip is a fifteenth of the program's logical pixel at every scale, and the
// backends draw each logical pixel on as many device pixels as the scale asks (common/scale.h).
int TwipsPerPixelX();
int TwipsPerPixelY();
// A rectangle of the screen in twips, in the same coordinates as window positions.
struct MonitorRect {
  double left = 0, top = 0, width = 0, height = 0;
  bool operator==(const MonitorRect&) const = default;
};
// A monitor as it stands now: all of it, and its work area, the part that panels, docks and
// the taskbar leave to windows (all of it where nothing is kept).
struct Monitor {
  MonitorRect whole, work;
  Monitor(const MonitorRect& all) : whole(all), work(all) {}  // nothing kept
  Monitor(const MonitorRect& all, const MonitorRect& usable) : whole(all), work(usable) {}
  bool operator==(const Monitor&) const = default;
};
// Every monitor as it is at this moment, the primary one first; the whole screen where the
// platform lists none. Window positions are measured from the primary monitor's corner as it
// was at start-up (on Windows: as it is now).
std::vector<Monitor> Monitors();

// Handles every window message (X event) already waiting, running the handlers, then returns.
void DoEvents();

// Ends the process at once with the given status; nothing else runs.
[[noreturn]] void EndProgram(int status);

// Modal message box with one OK button, titled with the given title (the application title when
// empty). Returns when the user has dismissed it.
void MsgBox(const std::string& text, const std::string& title = {});

// The running executable's file name without directory and extension ("zorvane").
std::string ExeBaseName();

// Whether the program reads options from its command line here (on Windows it takes none).
bool TakesCommandLine();
// Makes a write to a closed pipe fail with an error the caller sees, where it would otherwise
// end the process by a signal (the command line's output then reports it and exits 1).
void ReportClosedPipesAsWriteErrors();
// Where the program's settings are kept, as a user would look for them.
std::string SettingsLocation();

// Value of an environment variable, empty when unset.
std::string Environ(const std::string& name);

}  // namespace plat
