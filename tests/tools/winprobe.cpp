// Reads a running Windows program's windows from outside, for the black-box tests under Wine.
//
//   winprobe top [TITLE]          every top-level window (or those titled TITLE), one per line:
//                                 hwnd<TAB>class<TAB>title<TAB>x y w h<TAB>visible|hidden<TAB>check
//                                 (check: on/off for Button windows, else -)
//   winprobe children HWND        every descendant of HWND, same columns, screen coordinates
//   winprobe wait TITLE MS [CLASS]  waits until a visible top-level window titled TITLE (of
//                                 that class) exists; prints its line (exit 1 on time-out)
//   winprobe wait-gone HWND MS    waits until HWND is gone or hidden (exit 1 on time-out)
//   winprobe press HWND TEXT      sends BM_CLICK to HWND's BUTTON child captioned TEXT
//   winprobe type HWND TEXT       sets the text of HWND's first EDIT child (as typing would)
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

int Usage() {
  std::fprintf(stderr, "usage: winprobe top|children|wait|wait-gone|press|type ...\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
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
  if (cmd == "press" && argc == 4) {
    HWND button = ChildBy(ParseHwnd(argv[2]), "Button", argv[3]);
    if (!button) return 1;
    // Posted, not sent: a button that opens a modal loop would otherwise block us.
    PostMessageA(button, BM_CLICK, 0, 0);
    return 0;
  }
  if (cmd == "type" && argc == 4) {
    HWND edit = ChildBy(ParseHwnd(argv[2]), "Edit", nullptr);
    if (!edit) return 1;
    SendMessageTimeoutA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]), SMTO_ABORTIFHUNG,
                        2000, nullptr);
    return 0;
  }
  return Usage();
}
