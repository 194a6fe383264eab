// The Win32 backend's screen on real windows, under Wine: the work area a taskbar leaves, the
// notice of its change, and which moves are the user's. Wine keeps SPI_SETWORKAREA apart for each
// process, so this is set and read here, in one process.
#include <gtest/gtest.h>
#include <windows.h>

#include <vector>

#include "platform/app.h"
#include "platform/forms.h"

namespace {

class Watched : public plat::Form {
 public:
  Watched() : Form("Watched", plat::FormStyle::FixedSingle) {}
  int changes = 0;
  std::vector<bool> moves;  // byUser of each move heard of

 protected:
  void Form_DisplayChange() override { ++changes; }
  void Form_Moved(bool byUser) override { moves.push_back(byUser); }
};

TEST(Win32WorkArea, ATaskbarsRoomIsLeftOutAndItsChangeHeardOf) {
  RECT before{};
  ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &before, 0));
  Watched form;
  form.Load();
  form.Show();
  RECT bar = before;
  bar.bottom -= 40;  // a taskbar at the bottom
  ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &bar, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE));
  plat::DoEvents();
  const plat::MonitorRect work = plat::Monitors().front().work;
  EXPECT_EQ(work.top + work.height, double(bar.bottom) * 15);
  EXPECT_EQ(work.width, double(bar.right - bar.left) * 15);
  EXPECT_GE(form.changes, 1);
  ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &before, SPIF_UPDATEINIFILE | SPIF_SENDCHANGE));
  form.Unload();
}

// Between WM_ENTERSIZEMOVE and WM_EXITSIZEMOVE the user moves the window by its caption bar; any
// other move is the program's or the system's.
TEST(Win32WorkArea, OnlyAMoveByTheCaptionBarIsTheUsers) {
  Watched form;
  form.Load();
  form.Show();
  const HWND h = reinterpret_cast<HWND>(form.hWnd());
  SetWindowPos(h, nullptr, 100, 100, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(h, WM_ENTERSIZEMOVE, 0, 0);
  SetWindowPos(h, nullptr, 140, 120, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  SendMessageW(h, WM_EXITSIZEMOVE, 0, 0);
  SetWindowPos(h, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(form.moves, (std::vector<bool>{false, true, false}));
  EXPECT_EQ(form.Left(), 10 * 15);
  form.Unload();
}

}  // namespace
