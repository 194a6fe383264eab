// A picture box: a child window that shows a persistent image of its own size, which can be
// drawn into through a device context.
#pragma once
#include "platform/common/device_picture.h"
#include "platform/forms.h"
#include "platform/gdi.h"
#include "platform/image.h"

namespace plat {

class PictureBox : public BoxControl {
 public:
  using BoxControl::BoxControl;
  ~PictureBox() override;

  // The persistent image; it follows the box's size in pixels.
  Image& Picture() { return image_; }
  const Image& Picture() const { return image_; }
  // Gives the box a picture and, with AutoSize, the picture's size (at the platform's twips per
  // pixel).
  void LoadPicture(const Image& picture);
  bool AutoSize = false;
  // A device context that draws into the image.
  DcHandle hDC();
  // Shows the image as it is now.
  void Refresh();
  // Which of its pixels show the screen behind them, and that screen's device pixels: drawn at
  // another scale, those parts show the screen as sharply as it is.
  SeeThrough& SeeThroughPixels() { return through_; }

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;
  void Resized() override;

 private:
  Image image_;
  SeeThrough through_;
};

std::unique_ptr<ControlPeer> NewPictureBoxPeer(PictureBox& box);

// Backend side: the device context that draws into a picture box's image, and its release when
// the box goes away. Where contexts are our own, a context is the image itself; on Windows it
// is a memory DC over the box's bitmap.
DcHandle PictureDc(PictureBox& box);
void ReleasePictureDc(PictureBox& box);

// Pure pixel work of FoxAlphaBlend: within the rectangle, source pixels equal to keyPixel leave
// the destination as it is; the others replace it at opacity/255. With `kept` (one flag per
// destination pixel), the pixels left as they were are marked and the others cleared.
void KeyColourBlend(Image& dest, int destX, int destY, int width, int height, const Image& source,
                    int sourceX, int sourceY, int opacity, std::uint32_t keyPixel,
                    std::vector<bool>* kept = nullptr);

// The screen as the backend sees it (0x00RRGGBB); pixels outside the screen read black. Each
// logical pixel reads the first of its device pixels; `device`, when given, receives all of
// them.
Image CaptureScreen(int x, int y, int width, int height, ScreenPixels* device = nullptr);
WindowHandle DesktopWindowHandle();

}  // namespace plat
