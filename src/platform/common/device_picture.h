// A picture box's logical image on device pixels, the one rule both backends draw with.
#pragma once
#include <cstdint>
#include <vector>

#include "platform/common/scale.h"
#include "platform/image.h"

namespace plat {

// Device pixels of a part of the screen, as captured (0x00RRGGBB).
struct ScreenPixels {
  PixelRect rect{};  // device coordinates on the screen
  std::vector<std::uint32_t> pixels;
  bool Contains(int x, int y) const {
    return x >= rect.x && y >= rect.y && x < rect.x + rect.w && y < rect.y + rect.h;
  }
  std::uint32_t At(int x, int y) const {
    return pixels[size_t(y - rect.y) * size_t(rect.w) + size_t(x - rect.x)];
  }
};

// Which logical pixels of a picture show the screen behind it (the key colour's holes in a
// composed picture), and that screen at device resolution.
struct SeeThrough {
  std::vector<bool> mask;  // per logical pixel, rows top-down; empty: none
  ScreenPixels screen;
  bool Shows(const Image& img, int x, int y) const {
    return !mask.empty() && img.Contains(x, y) && mask[size_t(y) * size_t(img.width) + size_t(x)];
  }
  // After a key-colour blend: only the pixels it left as they were (`kept`, one flag a pixel)
  // still show the screen.
  void KeepOnly(const std::vector<bool>& kept) {
    for (size_t i = 0; i < mask.size() && i < kept.size(); ++i) mask[i] = mask[i] && kept[i];
  }
};

// The picture's deviceW x deviceH device pixels, its top-left one at (screenX, screenY) on the
// screen: each logical pixel fills the device pixels that cover it (nearest neighbour, colours
// stay exact); a see-through one shows the screen's own device pixels instead. Where the screen
// was not read there, the picture's own pixel shows, and `holes` (when given, one flag a device
// pixel) marks it: a backend that cannot show it as the screen leaves it out.
std::vector<std::uint32_t> PictureAtDevice(const Image& img, const DisplayScale& scale, int deviceW,
                                           int deviceH, const SeeThrough* seeThrough, int screenX,
                                           int screenY, std::vector<bool>* holes = nullptr);

}  // namespace plat
