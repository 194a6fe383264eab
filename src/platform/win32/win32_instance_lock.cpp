// One copy per session: a named mutex.
#include <windows.h>

#include <string>

#include "platform/instance_lock.h"
#include "platform/win32/win32_text.h"

namespace plat {

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

}  // namespace plat
