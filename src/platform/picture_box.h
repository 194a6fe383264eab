// A picture box: a child window that shows a persistent image of its own size, which can be
// drawn into through a device context.
#pragma once
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

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;
  void Resized() override;

 private:
  Image image_;
};

std::unique_ptr<ControlPeer> NewPictureBoxPeer(PictureBox& box);

// Backend side: the device context that draws into a picture box's image, and its release when
// the box goes away. Where contexts are our own, a context is the image itself; on Windows it
// is a memory DC over the box's bitmap.
DcHandle PictureDc(PictureBox& box);
void ReleasePictureDc(PictureBox& box);

// Pure pixel work of FoxAlphaBlend: within the rectangle, source pixels equal to keyPixel leave
// the destination as it is; the others replace it at opacity/255.
void KeyColourBlend(Image& dest, int destX, int destY, int width, int height, const Image& source,
                    int sourceX, int sourceY, int opacity, std::uint32_t keyPixel);

// The screen as the backend sees it (0x00RRGGBB); pixels outside the screen read black.
Image CaptureScreen(int x, int y, int width, int height);
WindowHandle DesktopWindowHandle();

}  // namespace plat
