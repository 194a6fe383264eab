// The About window: the About picture laid over a copy of the desktop behind it, with the
// credits rising line by line, a blinking indicator and an "OK" box.
#pragma once
#include <cstdint>
#include <string>

#include "platform/forms.h"
#include "platform/gdi.h"
#include "platform/picture_box.h"

class About : public plat::Form {
 public:
  About();

  void Timer1_Timer();
  void Text2_Click();
  void Picture1_DblClick();
  // Copies the screen behind the window and lays the About picture over it.
  void CaptureAndCompose();

  // Bottom of the stacking order first.
  plat::PictureBox Picture2{*this, "Picture2"};  // the captured background, never seen
  plat::PictureBox Picture1{*this, "Picture1"};  // the composite the window shows
  plat::PictureBox Picture3{*this, "Picture3"};  // the About picture, never seen
  plat::TextBox Text1{*this, "Text1"};           // credits
  plat::TextBox Text2{*this, "Text2"};           // "OK"
  plat::PictureBox Picture4{*this, "Picture4"};  // the blinking indicator
  plat::Timer Timer1{*this, "Timer1"};

  std::int16_t TickCounter = 0;
  std::string ProductTitle;
  plat::WindowHandle DesktopWnd = 0;
  plat::DcHandle DesktopDC = 0;

 protected:
  void Form_Load() override;
  void Form_Resize() override;
  void Form_Showing() override;
};

// The one About window, made on first use.
About& AboutWindow();
