// Kernel waitable timers and the message-aware wait.
//
// A pause given a hint (HintNextChange) still creates and arms the caller's named timer, but arms
// it for the rest of the current second instead of 1 ms: nothing the caller shows can change
// before then, and a 1-ms timer would wake the process on every clock interrupt (64 times a
// second by default). Messages still end the wait at once. Once our windows have handled one
// that may reach a handler (input, a timer of a form, a notice from the system; anything but
// repaints and other programs reading them), the timer is armed again for the time it was asked
// for, so a handler that changed the face is followed by the next pass as soon as without the
// hint.
#include <windows.h>

#include <algorithm>
#include <optional>
#include <vector>

#include "platform/wait.h"
#include "platform/win32/win32_wait.h"

namespace plat {
namespace {

std::optional<DateTime> g_hint;  // for the next timer armed; one pause's

// The timer armed past its due time, and the due time it was asked for (relative, 100-ns units).
struct Stretched {
  HANDLE timer;
  LONGLONG asked;
};
std::optional<Stretched> g_stretched;
bool g_handled = false;  // a message that may reach a handler, since the timer was stretched

// 100-ns units until the local reading differs from `shown`: 0 when it already does. From the
// reading LocalNow takes (GetLocalTime, which moves on each clock interrupt), not a finer clock:
// by a finer one the timer could fire before LocalNow shows the new second, and the next pause
// would then be stretched past it.
LONGLONG UntilReadingChanges(const DateTime& shown) {
  SYSTEMTIME t;
  GetLocalTime(&t);
  const DateTime now{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
  return now == shown ? LONGLONG(1000 - t.wMilliseconds) * 10000 : 0;
}

bool Arm(HANDLE timer, LONGLONG due, long period, bool resume) {
  LARGE_INTEGER at;
  at.QuadPart = due;
  return ::SetWaitableTimer(timer, &at, period, nullptr, nullptr, resume);
}

}  // namespace

namespace win32 {
void NoteMessage(unsigned msg) {
  switch (msg) {
    // Repaints (they follow every change of a cell), the pointer passing over, and other programs
    // (a screen reader, a test's probe) reading what the windows show.
    case WM_PAINT: case WM_NCPAINT: case WM_ERASEBKGND: case WM_PRINTCLIENT:
    case WM_CTLCOLORSTATIC: case WM_CTLCOLOREDIT: case WM_CTLCOLORBTN:
    case WM_GETTEXT: case WM_GETTEXTLENGTH: case WM_GETOBJECT: case WM_GETFONT: case WM_GETICON:
    case WM_NCHITTEST: case WM_SETCURSOR: case WM_MOUSEMOVE: case WM_NCMOUSEMOVE: case BM_GETCHECK:
      return;
    default:
      g_handled = true;
  }
}
}  // namespace win32

Handle CreateWaitableTimerA(void* security, bool manualReset, const char* name) {
  return reinterpret_cast<Handle>(
      ::CreateWaitableTimerA(static_cast<LPSECURITY_ATTRIBUTES>(security), manualReset, name));
}

bool SetWaitableTimer(Handle timer, std::uint32_t low, std::int32_t high, long period, void*, void*,
                      bool resume) {
  LARGE_INTEGER due;
  due.LowPart = low;
  due.HighPart = high;
  const auto h = reinterpret_cast<HANDLE>(timer);
  std::optional<DateTime> hint;
  hint.swap(g_hint);
  g_stretched.reset();
  // Only a relative one-shot due time is stretched; anything else keeps its exact meaning.
  if (hint && due.QuadPart < 0 && period == 0) {
    const LONGLONG rest = UntilReadingChanges(*hint);
    if (rest > -due.QuadPart) {
      if (!Arm(h, -rest, 0, resume)) return false;
      g_stretched = Stretched{h, due.QuadPart};
      g_handled = false;
      return true;
    }
  }
  return Arm(h, due.QuadPart, period, resume);
}

bool CloseHandle(Handle handle) {
  g_hint.reset();
  if (g_stretched && g_stretched->timer == reinterpret_cast<HANDLE>(handle)) g_stretched.reset();
  return ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

void HintNextChange(const DateTime& shown) { g_hint = shown; }

std::uint32_t MsgWaitForMultipleObjects(std::uint32_t count, const Handle* handles, bool waitAll,
                                        std::uint32_t timeoutMs, std::uint32_t wakeMask) {
  std::vector<HANDLE> hs;
  for (std::uint32_t i = 0; i < count; ++i) hs.push_back(reinterpret_cast<HANDLE>(handles[i]));
  if (g_stretched && g_handled &&
      std::find(hs.begin(), hs.end(), g_stretched->timer) != hs.end()) {
    // A handler may have changed the face: from now the pause lasts as long as it was asked to.
    Arm(g_stretched->timer, g_stretched->asked, 0, false);
    g_stretched.reset();
  }
  return ::MsgWaitForMultipleObjects(count, hs.empty() ? nullptr : hs.data(), waitAll, timeoutMs,
                                     wakeMask);
}

void Sleep(std::uint32_t ms) { ::Sleep(ms); }

}  // namespace plat
