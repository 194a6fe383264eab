// Pixel images: what a picture box keeps off screen and what device contexts draw into.
#pragma once
#include <cstdint>
#include <optional>
#include <vector>

#include "platform/forms.h"

namespace plat {

// 0x00RRGGBB per pixel, rows top-down.
struct Image {
  int width = 0, height = 0;
  std::vector<std::uint32_t> pixels;

  Image() = default;
  Image(int w, int h, std::uint32_t fill = 0)
      : width(w), height(h), pixels(static_cast<size_t>(w > 0 && h > 0 ? w * h : 0), fill) {}
  std::uint32_t At(int x, int y) const { return pixels[static_cast<size_t>(y * width + x)]; }
  std::uint32_t& At(int x, int y) { return pixels[static_cast<size_t>(y * width + x)]; }
  bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
  // Keeps the top-left part that still fits, fills new area.
  void Resize(int w, int h, std::uint32_t fill);
};

constexpr std::uint32_t PixelFromColor(Color c) { return RedOf(c) << 16 | GreenOf(c) << 8 | BlueOf(c); }
constexpr Color ColorFromPixel(std::uint32_t p) { return Rgb((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF); }

// A Windows bitmap file (1, 4, 8, 24 or 32 bits per pixel, uncompressed, either row order);
// nothing for anything else.
std::optional<Image> DecodeBmp(const std::uint8_t* data, size_t size);

// The image of a Windows icon file closest to the size asked for, with the transparent pixels'
// alpha in the top byte (0xFF opaque).
std::optional<Image> DecodeIco(const std::uint8_t* data, size_t size, int wantedSize);

}  // namespace plat
