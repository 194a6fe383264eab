// The Win32 backend on real windows, run under Wine by make test: a window landing on a monitor
// of another scale (a synthetic WM_DPICHANGED, since Wine shows one dpi only), and the system
// settings the shared rules take from it.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "platform/forms.h"
#include "platform/region.h"

namespace {

class Probe : public plat::Form {
 public:
  Probe() : Form("Probe", plat::FormStyle::Borderless), Cell(*this, "Cell") {
    Cell.Border = true;
    Cell.Font = {"Tahoma", 12, true};
  }
  plat::Label Cell;
};

RECT WindowRect(HWND h) {
  RECT r{};
  GetWindowRect(h, &r);
  return r;
}

// The child's rectangle relative to its parent's window, as x, y, w, h.
std::vector<LONG> ChildBox(HWND child) {
  RECT c = WindowRect(child), p = WindowRect(GetParent(child));
  return {c.left - p.left, c.top - p.top, c.right - c.left, c.bottom - c.top};
}

LONG FontHeight(HWND h) {
  LOGFONTW lf{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(h, WM_GETFONT, 0, 0)), sizeof lf, &lf);
  return lf.lfHeight;
}

// The largest step of the region's left edge between neighbouring rows, and its box. Cut at
// device resolution, a slope of half a pixel a row steps by 1; a 96-dpi region blown up to
// 200 % steps by 2.
LONG LargestEdgeStep(HWND h, RECT& box) {
  HRGN r = CreateRectRgn(0, 0, 0, 0);
  GetWindowRgn(h, r);
  GetRgnBox(r, &box);
  LONG worst = 0, last = -1;
  for (LONG y = box.top; y < box.bottom; ++y)
    for (LONG x = box.left; x < box.right; ++x)
      if (PtInRegion(r, x, y)) {
        if (last >= 0) worst = std::max(worst, std::abs(x - last));
        last = x;
        break;
      }
  DeleteObject(r);
  return worst;
}

void ChangeDpi(HWND h, UINT dpi, RECT suggested) {
  SendMessageW(h, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
}

TEST(Win32DpiChange, WindowRegionControlsAndFontsFollowTheNewScaleAndBack) {
  Probe form;
  form.Load();
  form.Move(0, 0);
  form.SetWidth(300 * 15);
  form.SetHeight(300 * 15);
  form.Cell.Move(30 * 15, 40 * 15, 100 * 15, 20 * 15);
  const plat::Point triangle[] = {{150, 0}, {300, 300}, {0, 300}};
  plat::SetWindowRgn(form.hWnd(), plat::CreatePolygonRgn(triangle, 3, plat::kAlternate), false);
  const HWND h = reinterpret_cast<HWND>(form.hWnd());
  const HWND cell = GetWindow(h, GW_CHILD);
  ASSERT_NE(cell, nullptr);
  ASSERT_EQ(ChildBox(cell), (std::vector<LONG>{30, 40, 100, 20}));
  const LONG height96 = FontHeight(cell);

  struct Step {
    UINT dpi;
    RECT suggested;
    std::vector<LONG> cell;
    int factor;  // of the 96-dpi font height and border width
  };
  const Step steps[] = {
      {192, {40, 50, 640, 650}, {60, 80, 200, 40}, 2},
      {96, {10, 20, 310, 320}, {30, 40, 100, 20}, 1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.dpi);
    ChangeDpi(h, s.dpi, s.suggested);
    const RECT w = WindowRect(h);
    EXPECT_EQ((std::vector<LONG>{w.left, w.top, w.right, w.bottom}),
              (std::vector<LONG>{s.suggested.left, s.suggested.top, s.suggested.right, s.suggested.bottom}));
    EXPECT_EQ(ChildBox(cell), s.cell);
    EXPECT_EQ(FontHeight(cell), height96 * s.factor);
    RECT client{};
    GetClientRect(cell, &client);
    EXPECT_EQ(client.right, s.cell[2] - 2 * s.factor) << "a border one logical pixel wide";
    RECT box{};
    EXPECT_LE(LargestEdgeStep(h, box), 1);
    EXPECT_NEAR(box.bottom - box.top, 300 * s.factor, 1);
  }
  form.Unload();
}

}  // namespace

// The pointer rules take Windows' own double-click setting, whatever the user made it.
TEST(Win32Pointer, DoubleClickLimitsAreTheSystemSetting) {
  const UINT time = GetDoubleClickTime();
  const int w = GetSystemMetrics(SM_CXDOUBLECLK), h = GetSystemMetrics(SM_CYDOUBLECLK);
  SetDoubleClickTime(700);
  SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, 10, nullptr, 0);  // this session only
  SystemParametersInfoW(SPI_SETDOUBLECLKHEIGHT, 6, nullptr, 0);
  const plat::DoubleClickLimits l = plat::PlatformDoubleClickLimits();
  EXPECT_EQ(l.ms, 700u);
  EXPECT_EQ(l.dx, 5);  // either way of the press: half the box
  EXPECT_EQ(l.dy, 3);
  SetDoubleClickTime(time);
  SystemParametersInfoW(SPI_SETDOUBLECLKWIDTH, UINT(w), nullptr, 0);
  SystemParametersInfoW(SPI_SETDOUBLECLKHEIGHT, UINT(h), nullptr, 0);
}
