// System DLLs the program loads at run time, by name. They are taken from the system folder
// only: the ordinary search looks in the program's own folder first, where a portable copy
// may have been unpacked next to a planted DLL of the same name.
#pragma once
#include <windows.h>

namespace plat::win32 {

// The module, already loaded or loaded now from the system folder; null where the system has
// none (the DLL is newer than this Windows).
HMODULE SystemLibrary(const wchar_t* dll);

// An export of a system DLL; null where the DLL or the export is missing.
template <typename F>
F SystemExport(const wchar_t* dll, const char* name) {
  HMODULE m = SystemLibrary(dll);
  return m ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(m, name))) : nullptr;
}

}  // namespace plat::win32
