// Kernel waitable timers and the message-aware wait.
#include <windows.h>

#include <vector>

#include "platform/wait.h"

namespace plat {

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

}  // namespace plat
