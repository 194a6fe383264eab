// Kernel waitable timers and the message-aware wait, in the Win32 call shapes. Win32 passes them
// to the system. On both, a pause that was given a hint (HintNextChange) sleeps until the caller's
// face can change. On Linux one without a hint is rounded up to the Windows default timer period
// (15.625 ms), so it wakes no more often than it would on Windows.
#pragma once
#include <cstdint>
#include "platform/dates.h"
#include "platform/handles.h"

namespace plat {

inline constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;
inline constexpr std::uint32_t kWaitObject0 = 0;
inline constexpr std::uint32_t kWaitTimeout = 258;
inline constexpr std::uint32_t kWaitFailed = 0xFFFFFFFFu;
inline constexpr std::uint32_t kQsAllInput = 0xFF;

// Returns 0 when the timer cannot be created.
Handle CreateWaitableTimerA(void* security, bool manualReset, const char* name);
// dueLow/dueHigh: the two words of a signed 64-bit count of 100-ns intervals; negative = relative.
bool SetWaitableTimer(Handle timer, std::uint32_t dueLow, std::int32_t dueHigh, long periodMs,
                      void* completion, void* argument, bool resume);
bool CloseHandle(Handle handle);

// Waits until one of the handles is signalled (returns its index), until input for the program
// arrives (returns count), or until timeoutMs passes (kWaitTimeout). count may be 0, which makes
// it a plain pause that still returns on input. kWaitFailed on error.
std::uint32_t MsgWaitForMultipleObjects(std::uint32_t count, const Handle* handles, bool waitAll,
                                        std::uint32_t timeoutMs, std::uint32_t wakeMask);

// A hint for the next pause armed with SetWaitableTimer: what the caller shows was made from the
// local reading `shown` and stays right until a reading differs from it. A backend may then let
// that pause sleep past its own due time until the local time, the wall clock or the time zone
// changes, ending it soon after any message instead.
void HintNextChange(const DateTime& shown);

// Sleeps without watching for input (rounded up to the timer period like the waits above).
void Sleep(std::uint32_t milliSeconds);

}  // namespace plat
