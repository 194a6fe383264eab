#include "about/about_form.h"

#include <cmath>
#include <memory>

#include "about/credits.h"
#include "shared/assets.h"
#include "shared/main_mod.h"

namespace {

// Twips to pixels at a fixed 15, whatever the screen's own ratio: rounded to a whole twip
// (halves to even, the default rounding mode), then divided with the remainder dropped.
int FixedPixels(double twips) { return static_cast<int>(static_cast<long>(std::nearbyint(twips)) / 15); }

constexpr std::uint32_t kMagenta = 0x00FF00FF;  // 0x00BBGGRR

}  // namespace

About::About() : plat::Form("About", plat::FormStyle::Borderless) {
  Role = plat::AccessRole::Dialog;  // borderless, but a dialog over Setup all the same
  SeeThrough = true;  // the picture's key-colour parts show the desktop behind it
  SetWidth(6420);
  SetHeight(5160);
  BackColor = plat::Rgb(0, 0, 0);

  Picture4.Move(5400, 2660, 80, 80);
  Picture4.BackColor = plat::Rgb(0, 255, 0);

  Text2.Move(4680, 3600, 735, 285);
  Text2.SetText("OK");
  Text2.Role = plat::AccessRole::PushButton;  // clicked, it closes the window
  Text2.ForeColor = plat::Rgb(255, 255, 255);
  Text2.BackColor = plat::SystemDarkShadowColor();
  Text2.Font = {"Times New Roman", 9.75, true};
  Text2.TextAlign = plat::Alignment::Center;

  Text1.Move(960, 600, 4150, 2500);
  Text1.MultiLine = true;
  Text1.TextAlign = plat::Alignment::Center;  // the credits stand centred
  Text1.SetText("Text1");
  Text1.ForeColor = plat::Rgb(0, 255, 0);
  Text1.BackColor = plat::Rgb(0, 0, 0);
  Text1.Font = {"Times New Roman", 12, true};

  Picture3.Move(0, 0, 6285, 5040);
  Picture3.AutoSize = true;
  if (auto picture = plat::DecodeBmp(kAboutBmp, kAboutBmpSize)) Picture3.LoadPicture(*picture);
  Picture3.SetVisible(false);

  Picture1.Move(0, 0, 3975, 4815);
  Picture2.Move(1680, 0, 1335, 1215);
  Picture2.SetVisible(false);

  Timer1.SetInterval(500);
  Timer1.Tick = [this] { Timer1_Timer(); };
  Text2.Click = [this] { Text2_Click(); };
  Picture1.DblClick = [this] { Picture1_DblClick(); };
}

void About::Form_Load() {
  TickCounter = 0;
  ProductTitle = kProductName;
  SetWidth(Picture3.Width());
  SetHeight(Picture3.Height());
  Text1.SetTop(Picture3.Top() + 660);
  Text1.SetLeft(Picture3.Left() + 960);
  Text2.SetTop(Picture3.Top() + 3600);
  Text2.SetLeft(Picture3.Left() + 4680);
  Picture4.SetTop(Picture3.Top() + 2710);
  Picture4.SetLeft(Picture3.Left() + 5440);
  Picture4.SetVisible(true);
  Timer1.SetEnabled(true);
  Text1.SetText(CreditsText(0, ProductTitle));
}

void About::Form_Resize() { CaptureAndCompose(); }

void About::Form_Showing() {
  // Centred over the dialog that opens it, then the screen behind that spot is what shows. The
  // spot is put on a whole pixel, so the window stands exactly where the capture reads, whichever
  // way the platform rounds twips to pixels.
  double left = Left(), top = Top();
  if (plat::Form* owner = plat::ActiveModalForm(); owner && owner != this) {
    left = owner->Left() + (owner->Width() - Width()) / 2;
    top = owner->Top() + (owner->Height() - Height()) / 2;
  }
  // Whole on the screen, off the centre only as far as it must be.
  const ClockSpot kept = KeptOnScreen(left, top, Width(), Height(), plat::Monitors());
  auto wholePixel = [](double twips) { return std::floor(twips / 15) * 15; };
  Move(wholePixel(kept.left), wholePixel(kept.top));
  CaptureAndCompose();
}

void About::CaptureAndCompose() {
  Picture1.Move(0, 0, static_cast<float>(Width()), static_cast<float>(Height()));
  Picture2.Move(0, 0, static_cast<float>(Width()), static_cast<float>(Height()));
  DesktopWnd = plat::GetDesktopWindow();
  DesktopDC = plat::GetDC(DesktopWnd);
  plat::BitBlt(Picture2.hDC(), 0, 0, FixedPixels(Width()), FixedPixels(Height()), DesktopDC,
               FixedPixels(Left()), FixedPixels(Top()), plat::kSrcCopy);
  plat::BitBlt(Picture1.hDC(), 0, 0, FixedPixels(Width()), FixedPixels(Height()), Picture2.hDC(), 0,
               0, plat::kSrcCopy);
  plat::FoxAlphaBlend(Picture1.hDC(), 0, 0, FixedPixels(Width()), FixedPixels(Height()),
                      Picture3.hDC(), 0, 0, 255, kMagenta, 1);
  plat::ReleaseDC(DesktopWnd, DesktopDC);
}

void About::Timer1_Timer() {
  ++TickCounter;
  Picture4.SetVisible(!Picture4.Visible());
  if (TickCounter % 3 == 0 && TickCounter >= 3 && TickCounter <= 18)
    Text1.SetText(CreditsText(TickCounter / 3, ProductTitle));
  if (TickCounter > 50) {
    Timer1.SetEnabled(false);
    Unload();
  }
}

void About::Text2_Click() { Unload(); }

void About::Picture1_DblClick() { Unload(); }

About& AboutWindow() {
  static std::unique_ptr<About> about;
  if (!about) about = std::make_unique<About>();
  return *about;
}
