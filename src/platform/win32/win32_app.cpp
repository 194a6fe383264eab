// The Win32 runtime: start-up, metrics, monitors, the message pump, message boxes and the
// process's own facts. The other services are in win32_<service>.cpp; every one of them calls
// the real Win32 functions with the arguments the program made its calls with.
#include <windows.h>

#include <string>
#include <vector>

#include "platform/app.h"
#include "platform/win32/win32_scale.h"
#include "platform/win32/win32_text.h"

namespace plat {
namespace {
std::string g_title;
}

std::string Initialize(int, int) {
  win32::DeclareDpiAwareness();
  return {};
}

const std::string& AppTitle() { return g_title; }
void SetAppTitle(const std::string& title) { g_title = title; }

// The program's pixels are 1/96 inch at any scale; the backend maps them to the device.
int TwipsPerPixelX() { return 15; }
int TwipsPerPixelY() { return 15; }

namespace {
// A device length or coordinate of the desktop in the program's pixels, as twips.
double LogicalTwips(int device) { return double(win32::SystemScale().ToLogical(device)) * 15; }
}  // namespace

namespace {
MonitorRect LogicalRect(const RECT& r) {
  const double left = LogicalTwips(r.left), top = LogicalTwips(r.top);
  return {left, top, LogicalTwips(r.right) - left, LogicalTwips(r.bottom) - top};
}

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  const Monitor m{LogicalRect(info.rcMonitor), LogicalRect(info.rcWork)};
  auto& out = *reinterpret_cast<std::vector<Monitor>*>(list);
  if (info.dwFlags & MONITORINFOF_PRIMARY) out.insert(out.begin(), m);
  else out.push_back(m);
  return TRUE;
}
}  // namespace

// Screen coordinates already have the primary monitor's corner at (0,0) here. The primary
// monitor's work area is also what SPI_SETWORKAREA set: the same on Windows; Wine keeps that one
// for each process apart, and leaves it as it was after a change of display mode, so only what
// both allow counts.
std::vector<Monitor> Monitors() {
  std::vector<Monitor> out;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&out));
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  HMONITOR primary = MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
  MONITORINFO info{};
  info.cbSize = sizeof info;
  RECT work = GetMonitorInfoW(primary, &info) ? info.rcWork : screen, set{};
  if (out.empty()) out.push_back(Monitor{LogicalRect(screen), LogicalRect(work)});
  if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &set, 0) && IntersectRect(&set, &set, &work))
    out.front().work = LogicalRect(set);
  return out;
}

bool TakesCommandLine() { return false; }
void ReportClosedPipesAsWriteErrors() {}  // Windows has no SIGPIPE: the write fails by itself
std::string SettingsLocation() { return "the registry, under HKEY_CURRENT_USER"; }

void DoEvents() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) EndProgram(static_cast<int>(msg.wParam));
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void EndProgram(int status) { ExitProcess(static_cast<UINT>(status)); }

void MsgBox(const std::string& text, const std::string& title) {
  MessageBoxW(GetActiveWindow(), win32::Wide(text).c_str(),
              win32::Wide(title.empty() ? g_title : title).c_str(), MB_OK);
}

std::string ExeBaseName() {
  static const std::string name = [] {
    wchar_t path[MAX_PATH];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::string p = win32::Utf8(std::wstring(path, n));
    std::string base = p.substr(p.find_last_of("\\/") + 1);
    if (auto dot = base.find_last_of('.'); dot != std::string::npos && dot > 0) base.resize(dot);
    return base;
  }();
  return name;
}

std::string Environ(const std::string& name) {
  wchar_t buf[32768];
  DWORD n = GetEnvironmentVariableW(win32::Wide(name).c_str(), buf, 32768);
  return n > 0 && n < 32768 ? win32::Utf8(std::wstring(buf, n)) : std::string();
}

}  // namespace plat
