#include "platform/win32/win32_system_dll.h"

#include <string>

namespace plat::win32 {

HMODULE SystemLibrary(const wchar_t* dll) {
  // Only a module already loaded from the system folder counts: GetModuleHandleW matches a
  // planted copy loaded by someone else too.
  wchar_t folder[MAX_PATH];
  const UINT n = GetSystemDirectoryW(folder, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(folder, n) + L"\\" + dll;
  if (HMODULE m = GetModuleHandleW(path.c_str())) return m;
  // LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800) needs Windows 8, or 7 with KB2533623; elsewhere the
  // call fails with ERROR_INVALID_PARAMETER and the full path does the same job.
  if (HMODULE m = LoadLibraryExW(dll, nullptr, 0x00000800)) return m;
  if (GetLastError() != ERROR_INVALID_PARAMETER) return nullptr;
  return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace plat::win32
