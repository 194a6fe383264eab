// Device contexts: the gdi32 and user32 calls themselves, with what the picture boxes add to
// them at a scale other than 1 (the screen's own device pixels kept for what shows through).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "platform/common/device_picture.h"
#include "platform/gdi.h"
#include "platform/picture_box.h"
#include "platform/win32/win32_pictures.h"

namespace plat {
namespace win32 {

// The header of a top-down 32-bit DIB of w x h pixels, the layout of our images.
BITMAPINFO TopDown32(int w, int h) {
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  return bi;
}

}  // namespace win32

using win32::TopDown32;

DcHandle PictureDc(PictureBox& box) {
  win32::PictureSurface* picture = win32::PictureOfBox(box);
  return picture ? reinterpret_cast<DcHandle>(picture->Dc()) : 0;
}

void ReleasePictureDc(PictureBox&) {}

WindowHandle GetDesktopWindow() { return reinterpret_cast<WindowHandle>(::GetDesktopWindow()); }
DcHandle GetDC(WindowHandle w) { return reinterpret_cast<DcHandle>(::GetDC(reinterpret_cast<HWND>(w))); }
int ReleaseDC(WindowHandle w, DcHandle dc) {
  return ::ReleaseDC(reinterpret_cast<HWND>(w), reinterpret_cast<HDC>(dc));
}

namespace {

// The 32-bit top-down pixels behind a memory DC over a DIB section, or null.
std::uint32_t* DibBits(DcHandle dc, int& w, int& h) {
  HGDIOBJ bmp = GetCurrentObject(reinterpret_cast<HDC>(dc), OBJ_BITMAP);
  DIBSECTION ds{};
  if (!bmp || GetObjectW(bmp, sizeof ds, &ds) != sizeof ds || ds.dsBm.bmBitsPixel != 32 || !ds.dsBm.bmBits)
    return nullptr;
  w = ds.dsBm.bmWidth;
  h = std::abs(ds.dsBmih.biHeight);
  return static_cast<std::uint32_t*>(ds.dsBm.bmBits);
}

win32::PictureSurface* PictureOf(DcHandle dc) { return win32::PictureOfDc(reinterpret_cast<HDC>(dc)); }

// The screen behind a logical rectangle into a picture, at a scale other than 1: the device
// pixels are kept for the picture to show, and each logical pixel takes the first of its own.
bool CaptureInto(win32::PictureSurface& picture, HDC dest, int x, int y, int w, int h, HDC screen,
                 int sx, int sy, const DisplayScale& scale) {
  const PixelRect d = scale.ToDevice(PixelRect{sx, sy, w, h});
  if (d.w <= 0 || d.h <= 0) return false;
  HDC mem = CreateCompatibleDC(screen);
  BITMAPINFO bi = TopDown32(d.w, d.h);
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(mem, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bmp) {
    DeleteDC(mem);
    return false;
  }
  HGDIOBJ old = SelectObject(mem, bmp);
  const bool ok = ::BitBlt(mem, 0, 0, d.w, d.h, screen, d.x, d.y, SRCCOPY);
  GdiFlush();
  SeeThrough& through = picture.SeeThroughPixels();
  through.screen.rect = d;
  through.screen.pixels.assign(static_cast<const std::uint32_t*>(bits),
                               static_cast<const std::uint32_t*>(bits) + size_t(d.w) * size_t(d.h));
  for (auto& p : through.screen.pixels) p &= 0xFFFFFF;
  SelectObject(mem, old);
  DeleteObject(bmp);
  DeleteDC(mem);
  int pw = 0, ph = 0;
  std::uint32_t* px = DibBits(reinterpret_cast<DcHandle>(dest), pw, ph);
  if (!ok || !px) return false;
  through.mask.assign(size_t(pw) * size_t(ph), false);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      if (x + i < 0 || y + j < 0 || x + i >= pw || y + j >= ph) continue;
      const int dx = scale.ToDevice(sx + i), dy = scale.ToDevice(sy + j);
      if (!through.screen.Contains(dx, dy)) continue;
      px[size_t(y + j) * size_t(pw) + size_t(x + i)] = through.screen.At(dx, dy);
      through.mask[size_t(y + j) * size_t(pw) + size_t(x + i)] = true;
    }
  return true;
}

}  // namespace

// From the screen into a picture at a scale other than 1, the capture keeps the device pixels;
// from one picture to another, what shows the screen goes along. Otherwise the plain call.
bool BitBlt(DcHandle dest, int x, int y, int w, int h, DcHandle src, int sx, int sy, std::uint32_t rop) {
  const HDC d = reinterpret_cast<HDC>(dest), s = reinterpret_cast<HDC>(src);
  win32::PictureSurface* to = PictureOf(dest);
  if (to && rop == SRCCOPY && GetObjectType(s) == OBJ_DC) {
    const DisplayScale scale = to->Scale();
    if (!scale.IsOne()) return CaptureInto(*to, d, x, y, w, h, s, sx, sy, scale);
  }
  const bool ok = ::BitBlt(d, x, y, w, h, s, sx, sy, rop);
  if (win32::PictureSurface* from = PictureOf(src); to && from && x == 0 && y == 0 && sx == 0 && sy == 0)
    to->SeeThroughPixels() = from->SeeThroughPixels();
  return ok;
}

long FoxAlphaBlend(DcHandle dest, int dx, int dy, int w, int h, DcHandle source, int sx, int sy,
                   int opacity, std::uint32_t keyColor, std::int32_t) {
  int dw = 0, dh = 0, sw = 0, sh = 0;
  GdiFlush();
  std::uint32_t* d = DibBits(dest, dw, dh);
  std::uint32_t* s = DibBits(source, sw, sh);
  if (!d || !s || w <= 0 || h <= 0) return 0;
  Image di(dw, dh), si(sw, sh);
  std::copy(d, d + size_t(dw) * size_t(dh), di.pixels.begin());
  std::copy(s, s + size_t(sw) * size_t(sh), si.pixels.begin());
  for (auto& p : si.pixels) p &= 0xFFFFFF;
  std::vector<bool> kept;
  KeyColourBlend(di, dx, dy, w, h, si, sx, sy, opacity, PixelFromColor(keyColor), &kept);
  std::copy(di.pixels.begin(), di.pixels.end(), d);
  if (win32::PictureSurface* to = PictureOf(dest)) to->SeeThroughPixels().KeepOnly(kept);
  return 1;
}

}  // namespace plat
