// The display scale on Windows. The process is per-monitor DPI aware (the manifest in
// zorvane.rc, and DeclareDpiAwareness where no manifest took): Windows neither stretches nor
// virtualises it, so every window maps the program's logical pixels (1/96 inch, 15 twips) to
// the device pixels of the monitor it is on, with the rounding rules of common/scale.h.
#pragma once
#include <windows.h>

#include "platform/common/scale.h"

namespace plat::win32 {

// Per-monitor v2 where the system has it, else per-monitor (8.1), else system-aware (Vista, 7).
// Harmless when the manifest has already declared it.
void DeclareDpiAwareness();

// The scale of a given dpi (96 is 1).
DisplayScale ScaleOfDpi(UINT dpi);
// The system's scale, read once: the desktop's metrics and the screen are measured in it.
const DisplayScale& SystemScale();
// A form window's dpi as it starts: its monitor's (GetDpiForWindow), else the system's. Kept on
// the window, and changed when WM_DPICHANGED says so.
void KeepWindowDpi(HWND form, UINT dpi);
UINT DpiOfNewWindow(HWND form);
// The scale a window and its children draw at: the dpi kept on its top-level window.
DisplayScale ScaleOfWindow(HWND window);

}  // namespace plat::win32

namespace plat::win32 {

// The window's polygon region cut again at its present scale (after a change of monitor), and
// forgotten when the window goes.
void CutRegionAgain(HWND window);
void ForgetRegion(HWND window);

}  // namespace plat::win32
