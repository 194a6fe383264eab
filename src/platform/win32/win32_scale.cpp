#include "platform/win32/win32_scale.h"

#include "platform/win32/win32_system_dll.h"

namespace plat::win32 {

void DeclareDpiAwareness() {
  using Context = BOOL(WINAPI*)(HANDLE);
  using PerMonitor = HRESULT(WINAPI*)(int);
  using SystemAware = BOOL(WINAPI*)();
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2 is ((HANDLE)-4) (Windows 10 1703).
  if (auto set = SystemExport<Context>(L"user32.dll", "SetProcessDpiAwarenessContext"))
    if (set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))) ||
        GetLastError() == ERROR_ACCESS_DENIED)  // already declared, by the manifest
      return;
  // PROCESS_PER_MONITOR_DPI_AWARE is 2 (Windows 8.1, shcore.dll).
  if (auto set = SystemExport<PerMonitor>(L"shcore.dll", "SetProcessDpiAwareness"))
    if (const HRESULT hr = set(2); SUCCEEDED(hr) || hr == E_ACCESSDENIED) return;
  if (auto set = SystemExport<SystemAware>(L"user32.dll", "SetProcessDPIAware")) set();
}

DisplayScale ScaleOfDpi(UINT dpi) { return DisplayScale(dpi > 0 ? dpi / 96.0 : 1.0); }

const DisplayScale& SystemScale() {
  static const DisplayScale scale = [] {
    HDC dc = ::GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ::ReleaseDC(nullptr, dc);
    return ScaleOfDpi(UINT(dpi));
  }();
  return scale;
}

UINT DpiOfNewWindow(HWND form) {
  using ForWindow = UINT(WINAPI*)(HWND);
  static const auto forWindow = SystemExport<ForWindow>(L"user32.dll", "GetDpiForWindow");
  if (forWindow && form)
    if (const UINT dpi = forWindow(form)) return dpi;
  return UINT(SystemScale().Factor() * 96 + 0.5);
}

void KeepWindowDpi(HWND form, UINT dpi) {
  SetPropW(form, L"ZorvaneDpi", reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(dpi)));
}

DisplayScale ScaleOfWindow(HWND window) {
  const HWND top = window ? GetAncestor(window, GA_ROOT) : nullptr;
  if (HANDLE kept = top ? GetPropW(top, L"ZorvaneDpi") : nullptr)
    return ScaleOfDpi(UINT(reinterpret_cast<UINT_PTR>(kept)));
  return SystemScale();
}

}  // namespace plat::win32
