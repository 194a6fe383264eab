// The Win32 runtime: metrics, the message pump, message boxes, dates, the registry, kernel
// waitable timers, the single-instance mutex, the window search, regions and starting programs.
// The program's calls go to the real Win32 functions with the arguments they were made with.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "platform/app.h"
#include "platform/dates.h"
#include "platform/instance_lock.h"
#include "platform/process.h"
#include "platform/region.h"
#include "platform/registry.h"
#include "platform/wait.h"
#include "platform/win32/win32_text.h"
#include "platform/window_search.h"

namespace plat {
namespace {
std::string g_title;
}

std::string Initialize() {
  // No SetProcessDPIAware: the program works in 15 twips per pixel, as an unaware one sees.
  return {};
}

const std::string& AppTitle() { return g_title; }
void SetAppTitle(const std::string& title) { g_title = title; }

namespace {
// Twips per pixel from the screen's dots per inch, read once: every control position the clock
// sets, several times a pass, converts through it, and an unaware program's dpi never changes.
int TwipsPerPixel(int axis) {
  HDC dc = ::GetDC(nullptr);
  int dpi = GetDeviceCaps(dc, axis);
  ::ReleaseDC(nullptr, dc);
  return dpi > 0 ? 1440 / dpi : 15;
}
}  // namespace

int TwipsPerPixelX() {
  static const int tpp = TwipsPerPixel(LOGPIXELSX);
  return tpp;
}

int TwipsPerPixelY() {
  static const int tpp = TwipsPerPixel(LOGPIXELSY);
  return tpp;
}

long ScreenWidthTwips() { return GetSystemMetrics(SM_CXSCREEN) * long(TwipsPerPixelX()); }
long ScreenHeightTwips() { return GetSystemMetrics(SM_CYSCREEN) * long(TwipsPerPixelY()); }

namespace {
BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  const RECT& r = info.rcMonitor;
  MonitorRect m{double(r.left) * TwipsPerPixelX(), double(r.top) * TwipsPerPixelY(),
                double(r.right - r.left) * TwipsPerPixelX(), double(r.bottom - r.top) * TwipsPerPixelY()};
  auto& out = *reinterpret_cast<std::vector<MonitorRect>*>(list);
  if (info.dwFlags & MONITORINFOF_PRIMARY) out.insert(out.begin(), m);
  else out.push_back(m);
  return TRUE;
}
}  // namespace

// Screen coordinates already have the primary monitor's corner at (0,0) here.
std::vector<MonitorRect> Monitors() {
  std::vector<MonitorRect> out;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&out));
  if (out.empty()) out.push_back({0, 0, double(ScreenWidthTwips()), double(ScreenHeightTwips())});
  return out;
}

bool TakesCommandLine() { return false; }
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

DateTime LocalNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

namespace {
// The user's locale names, looked up once each.
std::string LocaleName(LCTYPE type) {
  wchar_t buf[128];
  int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 128);
  return n > 1 ? win32::Utf8(std::wstring(buf, size_t(n - 1))) : std::string();
}
}  // namespace

std::string WeekdayName(int weekday, bool abbreviate) {
  static std::string cache[2][7];
  // LOCALE_SDAYNAME1 is Monday; weekday 1 is Sunday.
  const int index = ((weekday + 5) % 7 + 7) % 7;
  std::string& slot = cache[abbreviate][index];
  if (slot.empty())
    slot = LocaleName((abbreviate ? LOCALE_SABBREVDAYNAME1 : LOCALE_SDAYNAME1) + LCTYPE(index));
  return slot;
}

std::string MonthName(int month, bool abbreviate) {
  static std::string cache[2][12];
  const int index = ((month - 1) % 12 + 12) % 12;
  std::string& slot = cache[abbreviate][index];
  if (slot.empty())
    slot = LocaleName((abbreviate ? LOCALE_SABBREVMONTHNAME1 : LOCALE_SMONTHNAME1) + LCTYPE(index));
  return slot;
}

// ---- registry: the advapi32 calls themselves ----

long RegOpenKeyExA(HKey root, const char* sub, std::uint32_t options, std::uint32_t access, HKey* out) {
  HKEY key = nullptr;
  LONG r = ::RegOpenKeyExA(reinterpret_cast<HKEY>(root), sub, options, access, &key);
  if (out) *out = reinterpret_cast<HKey>(key);
  return r;
}

long RegQueryValueExA(HKey key, const char* name, std::uint32_t* reserved, std::uint32_t* type,
                      std::uint8_t* data, std::uint32_t* size) {
  DWORD t = 0, s = size ? *size : 0;
  LONG r = ::RegQueryValueExA(reinterpret_cast<HKEY>(key), name, reinterpret_cast<LPDWORD>(reserved),
                              type ? &t : nullptr, data, size ? &s : nullptr);
  if (type) *type = t;
  if (size) *size = s;
  return r;
}

long RegSetValueExA(HKey key, const char* name, std::uint32_t reserved, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t size) {
  return ::RegSetValueExA(reinterpret_cast<HKEY>(key), name, reserved, type, data, size);
}

long RegCreateKeyExA(HKey root, const char* sub, std::uint32_t reserved, char* cls,
                     std::uint32_t options, std::uint32_t access, void* security, HKey* out,
                     std::uint32_t* disposition) {
  HKEY key = nullptr;
  DWORD d = 0;
  LONG r = ::RegCreateKeyExA(reinterpret_cast<HKEY>(root), sub, reserved, cls, options, access,
                             static_cast<LPSECURITY_ATTRIBUTES>(security), &key, &d);
  if (out) *out = reinterpret_cast<HKey>(key);
  if (disposition) *disposition = d;
  return r;
}

long RegCloseKey(HKey key) { return ::RegCloseKey(reinterpret_cast<HKEY>(key)); }

// ---- waitable timers and the message-aware wait ----

Handle CreateWaitableTimerA(void* security, bool manualReset, const char* name) {
  return reinterpret_cast<Handle>(
      ::CreateWaitableTimerA(static_cast<LPSECURITY_ATTRIBUTES>(security), manualReset, name));
}

bool SetWaitableTimer(Handle timer, std::uint32_t low, std::int32_t high, long period, void*, void*,
                      bool resume) {
  LARGE_INTEGER due;
  due.LowPart = low;
  due.HighPart = high;
  return ::SetWaitableTimer(reinterpret_cast<HANDLE>(timer), &due, period, nullptr, nullptr, resume);
}

bool CloseHandle(Handle handle) { return ::CloseHandle(reinterpret_cast<HANDLE>(handle)); }

// Every pause keeps its exact Windows meaning: the 1-ms timer, woken on the next clock interrupt.
void HintNextChange(const DateTime&) {}

std::uint32_t MsgWaitForMultipleObjects(std::uint32_t count, const Handle* handles, bool waitAll,
                                        std::uint32_t timeoutMs, std::uint32_t wakeMask) {
  std::vector<HANDLE> hs;
  for (std::uint32_t i = 0; i < count; ++i) hs.push_back(reinterpret_cast<HANDLE>(handles[i]));
  return ::MsgWaitForMultipleObjects(count, hs.empty() ? nullptr : hs.data(), waitAll, timeoutMs,
                                     wakeMask);
}

void Sleep(std::uint32_t ms) { ::Sleep(ms); }

bool ClaimSingleInstance(const std::string& name) {
  // In the session namespace, held until the process ends; a name taken by another kind of
  // object fails to open and does not stop the program.
  HANDLE m = CreateMutexW(nullptr, FALSE, win32::Wide("Local\\" + name + "-single-instance").c_str());
  if (!m) return true;
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(m);
    return false;
  }
  return true;
}

// ---- window search and regions ----

WindowHandle FindWindowA(const char* className, const char* windowName) {
  return reinterpret_cast<WindowHandle>(::FindWindowA(className, windowName));
}

RegionHandle CreatePolygonRgn(const Point* points, int count, int fillMode) {
  std::vector<POINT> p;
  for (int i = 0; i < count; ++i) p.push_back({LONG(points[i].x), LONG(points[i].y)});
  return reinterpret_cast<RegionHandle>(::CreatePolygonRgn(p.data(), count, fillMode));
}

int SetWindowRgn(WindowHandle window, RegionHandle region, bool redraw) {
  return ::SetWindowRgn(reinterpret_cast<HWND>(window), reinterpret_cast<HRGN>(region), redraw);
}

// ---- programs ----

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesW(win32::Wide(path).c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool StartProgram(const std::vector<std::string>& argv, bool maximized) {
  if (argv.empty()) return false;
  // Every argument quoted: a path with blanks ("C:\Program Files\...") must not start
  // C:\Program.exe instead.
  std::wstring line;
  for (const std::string& a : argv) {
    if (!line.empty()) line += L' ';
    line += L'"' + win32::Wide(a) + L'"';
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = maximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  std::wstring app = win32::Wide(argv[0]);
  if (!CreateProcessW(app.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return false;
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);  // never waited for
  return true;
}

bool OpenUrl(const std::string& url) {
  return reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", win32::Wide(url).c_str(), nullptr,
                                                 nullptr, SW_SHOWMAXIMIZED)) > 32;
}

}  // namespace plat
