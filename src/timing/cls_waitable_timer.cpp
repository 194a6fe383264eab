#include "timing/cls_waitable_timer.h"

#include "platform/app.h"
#include "platform/registry.h"
#include "platform/wait.h"

DueTime DueTimeWords(long milliSeconds) {
  std::int64_t due = -static_cast<std::int64_t>(milliSeconds) * 10000;
  auto bits = static_cast<std::uint64_t>(due);
  return {static_cast<std::uint32_t>(bits & 0xFFFFFFFFu),
          static_cast<std::int32_t>(static_cast<std::uint32_t>(bits >> 32))};
}

std::string TimerName(const std::string& exeBaseName, const plat::DateTime& now) {
  return exeBaseName + "Timer" + plat::FormatDate(now, "nnss");
}

clsWaitableTimer::~clsWaitableTimer() {
  if (TimerHandle != 0) plat::CloseHandle(TimerHandle);
}

void clsWaitableTimer::Wait(long milliSeconds) {
  try {
    std::string name = TimerName(plat::ExeBaseName(), plat::LocalNow());
    TimerHandle = plat::CreateWaitableTimerA(nullptr, true, name.c_str());
    DueTime due = DueTimeWords(milliSeconds);
    bool armed = TimerHandle != 0 &&
                 plat::SetWaitableTimer(TimerHandle, due.low, due.high, 0, nullptr, nullptr, false);
    if (!armed) {
      // No timer to wait on: a plain pause still sleeps and answers input.
      PlainPause(milliSeconds);
    } else {
      for (;;) {
        plat::StoreKeptChanges();
        std::uint32_t result = plat::MsgWaitForMultipleObjects(1, &TimerHandle, false,
                                                               plat::kInfinite, plat::kQsAllInput);
        plat::DoEvents();
        if (result == plat::kWaitObject0) break;
        if (result == plat::kWaitFailed) {
          // Waiting again would fail again at once and spin; pause plainly instead.
          PlainPause(milliSeconds);
          break;
        }
      }
    }
    plat::CloseHandle(TimerHandle);
    TimerHandle = 0;
  } catch (const RuntimeError& e) {
    throw RuntimeError(e.Number, e.Source, std::string("[clsWaitableTimer.Wait]") + e.what());
  } catch (const std::exception& e) {
    throw RuntimeError(-1, "clsWaitableTimer", std::string("[clsWaitableTimer.Wait]") + e.what());
  }
}

void clsWaitableTimer::PlainPause(long milliSeconds) {
  auto ms = static_cast<std::uint32_t>(milliSeconds < 0 ? 0 : milliSeconds);
  plat::StoreKeptChanges();
  if (plat::MsgWaitForMultipleObjects(0, nullptr, false, ms, plat::kQsAllInput) ==
      plat::kWaitFailed)
    plat::Sleep(ms);  // cannot even watch for input: at least do not spin
  plat::DoEvents();
}
