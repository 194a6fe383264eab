// One pause on a kernel waitable timer that still handles every window message arriving meanwhile.
#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>

#include "platform/dates.h"
#include "platform/handles.h"

// An error as the runtime reports it: number, source and description.
struct RuntimeError : std::runtime_error {
  RuntimeError(long number, std::string source, const std::string& description)
      : std::runtime_error(description), Number(number), Source(std::move(source)) {}
  long Number;
  std::string Source;
};

// A relative due time in the timer's layout: -(ms x 10 000) 100-ns intervals, split in two words.
struct DueTime {
  std::uint32_t low;
  std::int32_t high;
};
DueTime DueTimeWords(long milliSeconds);

// "<executable>Timer<mmss>": clockTimer0509 for clock.exe at 14:05:09.
std::string TimerName(const std::string& exeBaseName, const plat::DateTime& now);

class clsWaitableTimer {
 public:
  clsWaitableTimer() = default;
  ~clsWaitableTimer();
  clsWaitableTimer(const clsWaitableTimer&) = delete;
  clsWaitableTimer& operator=(const clsWaitableTimer&) = delete;

  // Returns when the timer has fired; errors come out as RuntimeError whose description starts
  // with "[clsWaitableTimer.Wait]".
  void Wait(long milliSeconds);
  plat::Handle TimerHandle = 0;

 private:
  void PlainPause(long milliSeconds);
};
