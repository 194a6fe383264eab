// The pause loop with nothing to show and no hint: each pass creates a named waitable timer, arms
// it for 1 ms, waits on it while answering messages, and closes it, as the clock's pause did on
// every pass. bench/windows_idle.sh runs it beside the clock. Runs until killed, printing the
// number of passes so far once a second: its wake-ups, exactly.
#include <windows.h>

#include <cstdio>

int main() {
  unsigned long passes = 0;
  DWORD printed = GetTickCount();
  for (;;) {
    ++passes;
    if (GetTickCount() - printed >= 1000) {
      printed += 1000;
      std::printf("%lu\n", passes);
      std::fflush(stdout);
    }
    HANDLE timer = CreateWaitableTimerA(nullptr, TRUE, "pauseLoopTimer");
    LARGE_INTEGER due;
    due.QuadPart = -10000;  // 1 ms, relative
    SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE);
    while (MsgWaitForMultipleObjects(1, &timer, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) {
      MSG m;
      while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    }
    CloseHandle(timer);
  }
}
