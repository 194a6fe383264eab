// A picture box's bitmap as the device-context calls (win32_gdi.cpp) reach it. The forms
// (win32_forms.cpp) make each picture box a child window over a memory DC and a top-down
// 32-bit DIB section in the program's pixels, shown at the window's scale.
#pragma once
#include <windows.h>

#include "platform/common/scale.h"
#include "platform/picture_box.h"

namespace plat::win32 {

class PictureSurface {
 public:
  virtual HDC Dc() const = 0;
  // The scale of the window the picture shows in.
  virtual DisplayScale Scale() const = 0;
  // Which of its pixels show the screen behind it, and that screen's device pixels.
  virtual SeeThrough& SeeThroughPixels() = 0;

 protected:
  ~PictureSurface() = default;
};

// The picture box whose memory DC this is; null for any other DC.
PictureSurface* PictureOfDc(HDC dc);
// The box's bitmap; null while it has no window.
PictureSurface* PictureOfBox(PictureBox& box);

// The header of a top-down 32-bit DIB of w x h pixels, the layout of our images.
BITMAPINFO TopDown32(int w, int h);

}  // namespace plat::win32
