// Starting programs and opening web pages.
#include <windows.h>

#include <shellapi.h>
#include <string>
#include <vector>

#include "platform/process.h"
#include "platform/win32/win32_text.h"

namespace plat {

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
