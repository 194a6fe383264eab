// The pause on a real waitable timer: a hint stretches it to the next second, a message that may
// reach a handler brings back its own 1 ms, and without a hint it is 1 ms. Each case starts just
// after the second turned, so 1 ms never reaches the next one.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>

#include "platform/dates.h"
#include "platform/forms.h"
#include "platform/wait.h"

namespace {

constexpr std::uint32_t kOneMsLow = 0xFFFFD8F0u;  // -10 000 x 100 ns, as two words
constexpr std::int32_t kOneMsHigh = -1;

plat::DateTime FreshSecond() {
  const plat::DateTime start = plat::LocalNow();
  plat::DateTime now;
  while ((now = plat::LocalNow()) == start) ::Sleep(1);
  return now;
}

struct Pause {
  plat::DateTime shown = FreshSecond();
  plat::Handle timer = plat::CreateWaitableTimerA(nullptr, true, "zvPauseTest");
  explicit Pause(bool hint) {
    if (hint) plat::HintNextChange(shown);
    EXPECT_TRUE(plat::SetWaitableTimer(timer, kOneMsLow, kOneMsHigh, 0, nullptr, nullptr, false));
  }
  ~Pause() { plat::CloseHandle(timer); }
  std::uint32_t Wait() {
    return plat::MsgWaitForMultipleObjects(1, &timer, false, plat::kInfinite, plat::kQsAllInput);
  }
};

void Drain() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
}

TEST(Win32Pause, AHintLastsUntilTheSecondTurnsAndNoHintOneMs) {
  for (const bool hint : {true, false}) {
    Pause p(hint);
    EXPECT_EQ(p.Wait(), plat::kWaitObject0);
    EXPECT_EQ(plat::LocalNow() != p.shown, hint) << "hint " << hint;
  }
}

class Plain : public plat::Form {
 public:
  Plain() : Form("Plain", plat::FormStyle::FixedSingle) {}
};

DWORD WINAPI ReadTitle(LPVOID window) {
  wchar_t text[64];
  SendMessageW(static_cast<HWND>(window), WM_GETTEXT, 64, reinterpret_cast<LPARAM>(text));
  return 0;
}

// Each message wakes the pause; only one that may reach a handler brings back its own 1 ms.
TEST(Win32Pause, OnlyAMessageThatMayReachAHandlerEndsTheHint) {
  Plain form;
  form.Load();
  form.Show();
  const auto w = reinterpret_cast<HWND>(form.hWnd());
  Drain();
  const struct {
    const char* what;
    std::function<HANDLE()> send;
    bool ends;
  } rows[] = {
      {"a click", [&] {
         PostMessageW(w, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
         PostMessageW(w, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
         return HANDLE(nullptr);
       }, true},
      {"a repaint", [&] { InvalidateRect(w, nullptr, TRUE); return HANDLE(nullptr); }, false},
      {"another program reading the title",
       [&] { return CreateThread(nullptr, 0, ReadTitle, w, 0, nullptr); }, false},
  };
  for (const auto& row : rows) {
    Pause p(true);
    const HANDLE sender = row.send();
    EXPECT_EQ(p.Wait(), 1u) << row.what;
    Drain();
    EXPECT_EQ(p.Wait(), plat::kWaitObject0) << row.what;
    EXPECT_EQ(plat::LocalNow() == p.shown, row.ends) << row.what;
    if (sender) {
      WaitForSingleObject(sender, 2000);
      ::CloseHandle(sender);
    }
  }
  form.Unload();
}

// A hint is for the pause it was given to: one that closed its timer unarmed leaves none behind.
TEST(Win32Pause, AHintServesOnePause) {
  Drain();
  const plat::DateTime shown = FreshSecond();
  const plat::Handle unarmed = plat::CreateWaitableTimerA(nullptr, true, "zvPauseTest");
  plat::HintNextChange(shown);
  plat::CloseHandle(unarmed);
  plat::Handle timer = plat::CreateWaitableTimerA(nullptr, true, "zvPauseTest");
  EXPECT_TRUE(plat::SetWaitableTimer(timer, kOneMsLow, kOneMsHigh, 0, nullptr, nullptr, false));
  EXPECT_EQ(plat::MsgWaitForMultipleObjects(1, &timer, false, plat::kInfinite, plat::kQsAllInput),
            plat::kWaitObject0);
  EXPECT_EQ(plat::LocalNow(), shown);
  plat::CloseHandle(timer);
}

}  // namespace
