// Device contexts for platforms without GDI: a context is a picture box's image or the screen.
#include <algorithm>
#include <map>

#include "platform/gdi.h"
#include "platform/picture_box.h"

namespace plat {
namespace {

struct Dc {
  Image* image = nullptr;       // null: the screen
  PictureBox* owner = nullptr;  // repainted after a draw
};

std::map<DcHandle, Dc>& Dcs() {
  // Never destroyed: picture boxes of forms held in statics unregister as the program exits.
  static auto* dcs = new std::map<DcHandle, Dc>;
  return *dcs;
}
DcHandle g_next = 0x7000;

Dc* Find(DcHandle h) {
  auto it = Dcs().find(h);
  return it == Dcs().end() ? nullptr : &it->second;
}

// The pixels a context shows over a rectangle; the screen is read on demand, with its device
// pixels into `device`.
Image Read(const Dc& dc, int x, int y, int w, int h, ScreenPixels* device = nullptr) {
  if (!dc.image) return CaptureScreen(x, y, w, h, device);
  Image out(w, h);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (dc.image->Contains(x + i, y + j)) out.At(i, j) = dc.image->At(x + i, y + j);
  return out;
}

}  // namespace

DcHandle PictureDc(PictureBox& box) {
  for (auto& [handle, dc] : Dcs())
    if (dc.owner == &box) return handle;
  DcHandle h = ++g_next;
  Dcs()[h] = {&box.Picture(), &box};
  return h;
}

void ReleasePictureDc(PictureBox& box) {
  std::erase_if(Dcs(), [&](const auto& entry) { return entry.second.owner == &box; });
}

WindowHandle GetDesktopWindow() { return DesktopWindowHandle(); }

DcHandle GetDC(WindowHandle window) {
  if (window != DesktopWindowHandle()) return 0;
  DcHandle h = ++g_next;
  Dcs()[h] = {};
  return h;
}

int ReleaseDC(WindowHandle, DcHandle dc) {
  Dc* d = Find(dc);
  if (!d || d->image) return 0;
  Dcs().erase(dc);
  return 1;
}

bool BitBlt(DcHandle dest, int x, int y, int w, int h, DcHandle source, int sx, int sy,
            std::uint32_t rop) {
  Dc* d = Find(dest);
  Dc* s = Find(source);
  if (!d || !s || !d->image || rop != kSrcCopy || w <= 0 || h <= 0) return false;
  ScreenPixels device;
  Image part = Read(*s, sx, sy, w, h, &device);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (d->image->Contains(x + i, y + j)) d->image->At(x + i, y + j) = part.At(i, j);
  if (d->owner) {
    // What shows the screen: all of a capture, or what a whole picture copied along.
    SeeThrough& through = d->owner->SeeThroughPixels();
    if (!s->image) {
      through.screen = std::move(device);
      through.mask.assign(d->image->pixels.size(), false);
      for (int j = 0; j < h; ++j)
        for (int i = 0; i < w; ++i)
          if (d->image->Contains(x + i, y + j))
            through.mask[size_t(y + j) * size_t(d->image->width) + size_t(x + i)] = true;
    } else if (s->owner && x == 0 && y == 0 && sx == 0 && sy == 0) {
      through = s->owner->SeeThroughPixels();
    }
    d->owner->Refresh();
  }
  return true;
}

long FoxAlphaBlend(DcHandle dest, int dx, int dy, int w, int h, DcHandle source, int sx, int sy,
                   int opacity, std::uint32_t keyColor, std::int32_t) {
  Dc* d = Find(dest);
  Dc* s = Find(source);
  if (!d || !s || !d->image || w <= 0 || h <= 0) return 0;
  Image src = Read(*s, sx, sy, w, h);
  std::vector<bool> kept;
  KeyColourBlend(*d->image, dx, dy, w, h, src, 0, 0, opacity, PixelFromColor(keyColor), &kept);
  if (d->owner) {
    d->owner->SeeThroughPixels().KeepOnly(kept);
    d->owner->Refresh();
  }
  return 1;
}

}  // namespace plat
