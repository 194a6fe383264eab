#include <algorithm>
#include <cstring>

#include "platform/image.h"
#include "platform/picture_box.h"

namespace plat {
namespace {

std::uint32_t U32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
std::uint16_t U16(const std::uint8_t* p) { return std::uint16_t(p[0] | p[1] << 8); }

// A device-independent bitmap from its header on; icons double the height to hold the mask.
std::optional<Image> DecodeDib(const std::uint8_t* d, size_t size, size_t pixelOffset, bool icon) {
  if (size < 40) return std::nullopt;
  const std::uint32_t headerSize = U32(d);
  const std::int32_t width = std::int32_t(U32(d + 4));
  std::int32_t height = std::int32_t(U32(d + 8));
  const int bpp = U16(d + 14);
  const std::uint32_t compression = U32(d + 16);
  std::uint32_t colours = U32(d + 32);
  if (headerSize < 40 || headerSize > size || width <= 0 || width > 8192 || height == 0 ||
      compression != 0)
    return std::nullopt;
  const bool bottomUp = height > 0;
  if (height < 0) height = -height;
  if (icon) height /= 2;
  if (height <= 0 || height > 8192) return std::nullopt;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return std::nullopt;
  if (bpp <= 8 && colours == 0) colours = 1u << bpp;
  if (colours > 256) return std::nullopt;
  const size_t paletteAt = headerSize;
  const size_t paletteEnd = paletteAt + (bpp <= 8 ? colours * 4 : 0);
  if (pixelOffset == 0) pixelOffset = paletteEnd;
  const size_t stride = (size_t(width) * size_t(bpp) + 31) / 32 * 4;
  const size_t maskStride = (size_t(width) + 31) / 32 * 4;
  const size_t need = pixelOffset + stride * size_t(height) + (icon ? maskStride * size_t(height) : 0);
  if (paletteEnd > size || need > size) return std::nullopt;

  Image img(width, height);
  for (int y = 0; y < height; ++y) {
    const std::uint8_t* row = d + pixelOffset + stride * size_t(bottomUp ? height - 1 - y : y);
    const std::uint8_t* mask =
        icon ? d + pixelOffset + stride * size_t(height) + maskStride * size_t(height - 1 - y) : nullptr;
    for (int x = 0; x < width; ++x) {
      std::uint32_t px;
      if (bpp <= 8) {
        const size_t bit = size_t(x) * size_t(bpp);
        const unsigned index = (row[bit / 8] >> (8 - bpp - bit % 8)) & ((1u << bpp) - 1);
        if (index >= colours) return std::nullopt;
        const std::uint8_t* c = d + paletteAt + index * 4;
        px = std::uint32_t(c[2]) << 16 | std::uint32_t(c[1]) << 8 | c[0];
      } else {
        const std::uint8_t* c = row + size_t(x) * size_t(bpp / 8);
        px = std::uint32_t(c[2]) << 16 | std::uint32_t(c[1]) << 8 | c[0];
      }
      if (icon) {
        const bool transparent = (mask[x / 8] >> (7 - x % 8)) & 1;
        px |= transparent ? 0u : 0xFF000000u;
      }
      img.At(x, y) = px;
    }
  }
  return img;
}

}  // namespace

void Image::Resize(int w, int h, std::uint32_t fill) {
  if (w == width && h == height) return;
  Image next(w, h, fill);
  for (int y = 0; y < std::min(h, height); ++y)
    for (int x = 0; x < std::min(w, width); ++x) next.At(x, y) = At(x, y);
  *this = std::move(next);
}

void KeyColourBlend(Image& dest, int dx, int dy, int w, int h, const Image& src, int sx, int sy,
                    int opacity, std::uint32_t keyPixel, std::vector<bool>* kept) {
  const int a = std::clamp(opacity, 0, 255);
  if (kept) kept->assign(dest.pixels.size(), true);
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i) {
      if (!dest.Contains(dx + i, dy + j) || !src.Contains(sx + i, sy + j)) continue;
      const std::uint32_t s = src.At(sx + i, sy + j) & 0xFFFFFF;
      if (kept) (*kept)[size_t(dy + j) * size_t(dest.width) + size_t(dx + i)] = s == keyPixel;
      if (s == keyPixel) continue;
      std::uint32_t& d = dest.At(dx + i, dy + j);
      std::uint32_t out = 0;
      for (int shift = 0; shift <= 16; shift += 8) {
        const int sc = int(s >> shift) & 0xFF, dc = int(d >> shift) & 0xFF;
        out |= std::uint32_t((sc * a + dc * (255 - a) + 127) / 255) << shift;
      }
      d = out;
    }
}

std::optional<Image> DecodeBmp(const std::uint8_t* data, size_t size) {
  if (!data || size < 14 + 40 || data[0] != 'B' || data[1] != 'M') return std::nullopt;
  const std::uint32_t offset = U32(data + 10);
  if (offset < 14 || offset >= size) return std::nullopt;
  return DecodeDib(data + 14, size - 14, offset - 14, false);
}

std::optional<Image> DecodeIco(const std::uint8_t* data, size_t size, int wanted) {
  if (!data || size < 6 || U16(data) != 0 || U16(data + 2) != 1) return std::nullopt;
  const unsigned count = U16(data + 4);
  if (size < 6 + 16 * size_t(count)) return std::nullopt;
  std::optional<Image> best;
  for (unsigned i = 0; i < count; ++i) {
    const std::uint8_t* e = data + 6 + 16 * i;
    const std::uint32_t bytes = U32(e + 8), offset = U32(e + 12);
    if (offset > size || bytes > size - offset) continue;
    auto img = DecodeDib(data + offset, bytes, 0, true);
    if (!img) continue;
    if (!best || std::abs(img->width - wanted) < std::abs(best->width - wanted)) best = std::move(img);
  }
  return best;
}

}  // namespace plat
