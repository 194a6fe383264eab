#include "platform/picture_box.h"

#include <cmath>

#include "platform/app.h"

namespace plat {

PictureBox::~PictureBox() { ReleasePictureDc(*this); }

void PictureBox::LoadPicture(const Image& picture) {
  image_ = picture;
  if (AutoSize)
    Move(Left(), Top(), float(picture.width * TwipsPerPixelX()), float(picture.height * TwipsPerPixelY()));
  Refresh();
}

void PictureBox::Resized() {
  image_.Resize(std::max(1, TwipsToPixelsX(Width())), std::max(1, TwipsToPixelsY(Height())),
                PixelFromColor(BackColor));
}

DcHandle PictureBox::hDC() { return PictureDc(*this); }

void PictureBox::Refresh() {
  if (Peer()) Peer()->Update();
}

std::unique_ptr<ControlPeer> PictureBox::MakePeer() { return NewPictureBoxPeer(*this); }

}  // namespace plat
