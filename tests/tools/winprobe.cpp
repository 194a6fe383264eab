// Reads a running Windows program's windows from outside, for the black-box tests under Wine.
//
//   winprobe top [TITLE]          every top-level window (or those titled TITLE), one per line:
//                                 hwnd<TAB>class<TAB>title<TAB>x y w h<TAB>visible|hidden<TAB>check
//                                 (check: on/off for Button windows, else -)
//   winprobe children HWND        every descendant of HWND, same columns, screen coordinates
//   winprobe wait TITLE MS [CLASS]  waits until a visible top-level window titled TITLE (of
//                                 that class) exists; prints its line (exit 1 on time-out)
//   winprobe client HWND          "x y": where HWND's client area starts on the screen
//   winprobe wait-gone HWND MS    waits until HWND is gone or hidden (exit 1 on time-out)
//   winprobe press HWND TEXT      sends BM_CLICK to HWND's BUTTON child captioned TEXT
//   winprobe focus HWND           the line of the window with the keyboard focus in HWND's
//                                 thread (exit 1 when none has it)
//   winprobe workarea L T R B     sets the primary monitor's work area, as a taskbar does, and
//                                 prints it as the system now has it
//   winprobe resolution W H       changes the primary display's mode to W x H; prints the
//                                 result code and the screen's new size
//   winprobe lag HWND N           for each of the next N whole seconds of the local clock, the
//                                 ms after it began at which HWND's children first showed other
//                                 texts ("-" when none did), polled about every ms
//   winprobe squat PREFIX         takes every name PREFIX<mmss> (minutes and seconds 0000-5959)
//                                 with an event, so no waitable timer can have one; prints
//                                 "squatting N" and then holds them until killed
//
// Copied under another name (a browser's, say), it instead appends "<its own path>|<its command
// line>" to C:\started.txt and exits: the tests see which program was started, and how.
//
// Handles print as 0x-hex. Exit status 2 on bad usage, 1 when nothing matched.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Text(HWND h) {
  char buf[4096] = {};
  // WM_GETTEXT rather than GetWindowText: the latter does not read other processes' controls.
  SendMessageTimeoutA(h, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG,
                      2000, nullptr);
  std::string s(buf);
  for (char& c : s)
    if (c == '\t' || c == '\r' || c == '\n') c = ' ';
  return s;
}

std::string ClassOf(HWND h) {
  char buf[256] = {};
  GetClassNameA(h, buf, sizeof buf);
  return buf;
}

void PrintLine(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  const std::string cls = ClassOf(h);
  const char* check = "-";
  if (lstrcmpiA(cls.c_str(), "Button") == 0) {
    DWORD_PTR state = 0;
    SendMessageTimeoutA(h, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 2000, &state);
    check = state == BST_CHECKED ? "on" : "off";
  }
  std::printf("0x%llx\t%s\t%s\t%ld %ld %ld %ld\t%s\t%s\n",
              static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(h)), cls.c_str(),
              Text(h).c_str(), r.left, r.top, r.right - r.left, r.bottom - r.top,
              IsWindowVisible(h) ? "visible" : "hidden", check);
}

HWND ParseHwnd(const char* s) {
  return reinterpret_cast<HWND>(static_cast<UINT_PTR>(std::strtoull(s, nullptr, 16)));
}

// A named CALLBACK: a lambda cannot become a stdcall function pointer on 32-bit builds.
BOOL CALLBACK Collect(HWND h, LPARAM into) {
  reinterpret_cast<std::vector<HWND>*>(into)->push_back(h);
  return TRUE;
}

std::vector<HWND> TopLevel() {
  std::vector<HWND> all;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

std::vector<HWND> Descendants(HWND parent) {
  std::vector<HWND> all;
  EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&all));
  return all;
}

HWND FindVisible(const char* title, const char* cls) {
  for (HWND h : TopLevel())
    if (IsWindowVisible(h) && Text(h) == title &&
        (cls == nullptr || lstrcmpiA(ClassOf(h).c_str(), cls) == 0))
      return h;
  return nullptr;
}

HWND ChildBy(HWND parent, const char* cls, const char* text) {
  for (HWND h : Descendants(parent))
    if (lstrcmpiA(ClassOf(h).c_str(), cls) == 0 && (text == nullptr || Text(h) == text)) return h;
  return nullptr;
}

std::vector<std::string> TextsOf(const std::vector<HWND>& windows) {
  std::vector<std::string> texts;
  for (HWND h : windows) texts.push_back(Text(h));
  return texts;
}

int Lag(HWND h, int seconds) {
  // Each read is a round trip to the program: once a change is seen, only the windows that
  // changed (the seconds cells) are read, so the polls stay about a millisecond apart.
  std::vector<HWND> watched = Descendants(h);
  std::vector<std::string> last = TextsOf(watched);
  bool narrowed = false;
  SYSTEMTIME t;
  GetLocalTime(&t);
  int second = t.wSecond, counted = -1;  // the partial second we start in is not counted
  bool seen = false;
  while (counted <= seconds) {
    std::vector<std::string> now = TextsOf(watched);
    GetLocalTime(&t);  // after the read: the change was there by then
    if (t.wSecond != second) {
      if (counted >= 1 && !seen) std::printf("-\n");
      second = t.wSecond;
      seen = false;
      ++counted;
    }
    if (now != last) {
      if (!narrowed) {
        std::vector<HWND> changed;
        std::vector<std::string> texts;
        for (size_t i = 0; i < now.size(); ++i)
          if (now[i] != last[i]) {
            changed.push_back(watched[i]);
            texts.push_back(now[i]);
          }
        watched.swap(changed);
        now.swap(texts);
        narrowed = true;
      }
      if (!seen && counted >= 1 && counted <= seconds) {
        std::printf("%d\n", t.wMilliseconds);
        seen = true;
      }
    }
    last = now;
    if (!IsWindow(h)) return 1;
    Sleep(1);
  }
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: winprobe top|children|client|wait|wait-gone|focus|press|lag|strand|squat ...\n");
  return 2;
}

// The stand-in for a program the clock starts: records who and how.
bool RecordedAsStandIn() {
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  const char* base = std::strrchr(self, '\\');
  base = base ? base + 1 : self;
  if (lstrcmpiA(base, "winprobe.exe") == 0) return false;
  if (FILE* f = std::fopen("C:\\started.txt", "a")) {
    std::fprintf(f, "%s|%s\n", self, GetCommandLineA());
    std::fclose(f);
  }
  return true;
}

int Squat(const std::string& prefix) {
  int held = 0;
  for (int m = 0; m < 60; ++m)
    for (int s = 0; s < 60; ++s) {
      char name[128];
      std::snprintf(name, sizeof name, "%s%02d%02d", prefix.c_str(), m, s);
      if (CreateEventA(nullptr, TRUE, FALSE, name)) ++held;  // kept open until we die
    }
  std::printf("squatting %d\n", held);
  std::fflush(stdout);
  Sleep(INFINITE);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (RecordedAsStandIn()) return 0;
  if (argc < 2) return Usage();
  // Device pixels, whatever the desktop's scale: an unaware probe may be shown virtualised ones.
  SetProcessDPIAware();
  if (std::string(argv[1]) == "squat" && argc == 3) return Squat(argv[2]);
  const std::string cmd = argv[1];
  if (cmd == "top") {
    int n = 0;
    for (HWND h : TopLevel())
      if (argc < 3 || Text(h) == argv[2]) {
        PrintLine(h);
        ++n;
      }
    return n ? 0 : 1;
  }
  if (cmd == "children" && argc == 3) {
    HWND parent = ParseHwnd(argv[2]);
    if (!IsWindow(parent)) return 1;
    for (HWND h : Descendants(parent)) PrintLine(h);
    return 0;
  }
  if (cmd == "client" && argc == 3) {
    POINT origin{0, 0};
    if (!ClientToScreen(ParseHwnd(argv[2]), &origin)) return 1;
    std::printf("%ld %ld\n", origin.x, origin.y);
    return 0;
  }
  if (cmd == "wait" && (argc == 4 || argc == 5)) {
    for (int left = std::atoi(argv[3]);; left -= 20) {
      if (HWND h = FindVisible(argv[2], argc == 5 ? argv[4] : nullptr)) {
        PrintLine(h);
        return 0;
      }
      if (left <= 0) return 1;
      Sleep(20);
    }
  }
  if (cmd == "wait-gone" && argc == 4) {
    HWND h = ParseHwnd(argv[2]);
    for (int left = std::atoi(argv[3]);; left -= 20) {
      if (!IsWindow(h) || !IsWindowVisible(h)) return 0;
      if (left <= 0) return 1;
      Sleep(20);
    }
  }
  if (cmd == "focus" && argc == 3) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(ParseHwnd(argv[2]), nullptr), &info) ||
        !info.hwndFocus)
      return 1;
    PrintLine(info.hwndFocus);
    return 0;
  }
  if (cmd == "press" && argc == 4) {
    HWND button = ChildBy(ParseHwnd(argv[2]), "Button", argv[3]);
    if (!button) return 1;
    // Posted, not sent: a button that opens a modal loop would otherwise block us.
    PostMessageA(button, BM_CLICK, 0, 0);
    return 0;
  }
  if (cmd == "lag" && argc == 4) return Lag(ParseHwnd(argv[2]), std::atoi(argv[3]));
  if (cmd == "strand" && argc == 5) {
    // What a monitor going away does to a window: it is left where no monitor shows it, and
    // every top-level window hears of the new display layout.
    HWND h = ParseHwnd(argv[2]);
    if (!SetWindowPos(h, nullptr, std::atoi(argv[3]), std::atoi(argv[4]), 0, 0,
                      SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
      return 1;
    HDC screen = GetDC(nullptr);
    const WPARAM bits = WPARAM(GetDeviceCaps(screen, BITSPIXEL));
    ReleaseDC(nullptr, screen);
    SendMessageA(h, WM_DISPLAYCHANGE, bits,
                 MAKELPARAM(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    return 0;
  }
  if (cmd == "workarea" && (argc == 6 || argc == 2)) {
    // What a taskbar or an app bar does: it takes room at an edge of the primary monitor, and
    // every top-level window hears of it (SPIF_SENDCHANGE).
    RECT r{};
    if (argc == 6) {
      r = {std::atoi(argv[2]), std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5])};
      if (!SystemParametersInfoA(SPI_SETWORKAREA, 0, &r, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE)) return 1;
    }
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &r, 0);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right, r.bottom);
    return 0;
  }
  if (cmd == "resolution" && argc == 4) {
    // A new display mode for the primary monitor, as the display settings make one.
    DEVMODEA mode{};
    mode.dmSize = sizeof mode;
    mode.dmPelsWidth = DWORD(std::atoi(argv[2]));
    mode.dmPelsHeight = DWORD(std::atoi(argv[3]));
    mode.dmFields = DM_PELSWIDTH | DM_PELSHEIGHT;
    const LONG rc = ChangeDisplaySettingsA(&mode, 0);
    std::printf("%ld %d %d\n", rc, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    return rc == DISP_CHANGE_SUCCESSFUL ? 0 : 1;
  }
  return Usage();
}
