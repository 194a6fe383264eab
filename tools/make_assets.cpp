// Draws the program's pictures: the two Windows files it embeds and the Linux desktop icon.
//   about.bmp  419 x 336, 8 bits per pixel, bottom-up; magenta (palette entry 178) is see-through
//   zorvane.ico  the clock's icon, 16 colours, 32 x 32 and 16 x 16
//   icons/<n>/zorvane.png  the desktop icon (tools/icon_art.cpp) at 16, 32, 48 and 256 px, RGBA
//   icons/scalable/zorvane.svg  the same drawing as SVG, for any other size
// Run by hand when the art changes: make_assets OUT_DIR, then copy about.bmp to src/about/,
// zorvane.ico to src/clock/ and icons/ to data/icons/. The outputs are committed. The PNGs are
// compressed with zlib where CMake found it, else stored uncompressed (bigger, as valid).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "icon_art.h"
#if ZORVANE_ZLIB
#include <zlib.h>
#endif

namespace {

struct Rgb {
  int r, g, b;
};

constexpr Rgb kKey{255, 0, 255};
constexpr int kKeyIndex = 178;
constexpr int W = 419, H = 336;

// ---- a canvas of true colours, with a see-through mask ----
struct Canvas {
  int w, h;
  std::vector<Rgb> px;
  std::vector<bool> key;
  Canvas(int w_, int h_) : w(w_), h(h_), px(size_t(w_ * h_), Rgb{0, 0, 0}), key(size_t(w_ * h_), true) {}
  void Set(int x, int y, Rgb c) {
    if (x < 0 || y < 0 || x >= w || y >= h) return;
    px[size_t(y * w + x)] = c;
    key[size_t(y * w + x)] = false;
  }
  Rgb Get(int x, int y) const { return px[size_t(y * w + x)]; }
};

Rgb Mix(Rgb a, Rgb b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {int(std::lround(a.r + (b.r - a.r) * t)), int(std::lround(a.g + (b.g - a.g) * t)),
          int(std::lround(a.b + (b.b - a.b) * t))};
}

// Signed distance to a rounded rectangle (negative inside).
double RoundRect(double x, double y, double x0, double y0, double x1, double y1, double r) {
  double cx = std::clamp(x, x0 + r, x1 - r), cy = std::clamp(y, y0 + r, y1 - r);
  double dx = x - cx, dy = y - cy;
  bool inCore = x >= x0 + r && x <= x1 - r;
  bool inCoreY = y >= y0 + r && y <= y1 - r;
  if (inCore || inCoreY) return std::max({x0 - x, x - x1, y0 - y, y - y1});
  return std::sqrt(dx * dx + dy * dy) - r;
}

// A 5 x 7 pixel font for the few capitals the plaque needs.
const char* Glyph(char c) {
  switch (c) {
    case 'Z': return "11111000010001000100010001000011111";
    case 'O': return "01110100011000110001100011000101110";
    case 'R': return "11110100011000111110101001001010001";
    case 'V': return "10001100011000110001100010101000100";
    case 'A': return "01110100011000111111100011000110001";
    case 'N': return "10001110011010110011100011000110001";
    case 'E': return "11111100001000011110100001000011111";
    case 'T': return "11111001000010000100001000010000100";
    case 'I': return "01110001000010000100001000010001110";
    case 'M': return "10001110111010110101100011000110001";
    default: return "00000000000000000000000000000000000";
  }
}

void Text(Canvas& c, int x, int y, const std::string& s, int scale, Rgb ink, Rgb shade) {
  for (char ch : s) {
    const char* g = Glyph(ch);
    for (int gy = 0; gy < 7; ++gy)
      for (int gx = 0; gx < 5; ++gx)
        if (g[gy * 5 + gx] == '1')
          for (int sy = 0; sy < scale; ++sy)
            for (int sx = 0; sx < scale; ++sx) {
              c.Set(x + gx * scale + sx + 1, y + gy * scale + sy + 1, shade);  // engraved edge
              c.Set(x + gx * scale + sx, y + gy * scale + sy, ink);
            }
    x += 6 * scale;
  }
}

void Bevel(Canvas& c, int x0, int y0, int x1, int y1, int depth, Rgb dark, Rgb light) {
  for (int i = 0; i < depth; ++i) {
    for (int x = x0 - i - 1; x <= x1 + i; ++x) {
      c.Set(x, y0 - i - 1, dark);
      c.Set(x, y1 + i, light);
    }
    for (int y = y0 - i - 1; y <= y1 + i; ++y) {
      c.Set(x0 - i - 1, y, dark);
      c.Set(x1 + i, y, light);
    }
  }
}

Canvas DrawAbout() {
  Canvas c(W, H);
  const Rgb brassLight{222, 214, 172}, brass{189, 183, 149}, brassDark{150, 140, 100};
  const Rgb ink{81, 64, 6}, inkDeep{52, 40, 4}, black{0, 0, 0};
  // The plaque: a rounded panel with a dark-brown rim; outside it the desktop shows through.
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      double d = RoundRect(x + 0.5, y + 0.5, 28, 18, 392, 300, 40);
      if (d > 0) continue;
      if (d > -4) {
        c.Set(x, y, d > -1.5 ? inkDeep : ink);
        continue;
      }
      // Brushed brass: light from the top left, faint horizontal grain.
      double t = (double(y) / H) * 0.7 + (double(x) / W) * 0.3;
      Rgb base = t < 0.5 ? Mix(brassLight, brass, t * 2) : Mix(brass, brassDark, (t - 0.5) * 2);
      int grain = ((x * 7 + y * 13) % 11 == 0) ? -6 : ((y % 3 == 0) ? 3 : 0);
      c.Set(x, y, {base.r + grain, base.g + grain, base.b + grain});
    }
  // Inner rim line for depth.
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      double d = RoundRect(x + 0.5, y + 0.5, 38, 28, 382, 290, 32);
      if (d > -1 && d <= 0) c.Set(x, y, brassDark);
      if (d > 0 && d < 1) c.Set(x, y, brassLight);
    }

  // The credits screen sits at (64, 44), 277 x 167: a recessed black window with a bevel.
  for (int y = 44; y < 44 + 167; ++y)
    for (int x = 64; x < 64 + 277; ++x) c.Set(x, y, black);
  Bevel(c, 64, 44, 64 + 277, 44 + 167, 5, inkDeep, brassLight);

  // The indicator's socket around (363, 181), 5 x 5.
  for (int y = 177; y < 190; ++y)
    for (int x = 359; x < 372; ++x) {
      double dx = x - 365.0, dy = y - 183.0, r = std::sqrt(dx * dx + dy * dy);
      if (r < 6.5) c.Set(x, y, r < 4.5 ? Rgb{20, 40, 20} : inkDeep);
    }

  // The "OK" key's slot at (312, 240), 49 x 19.
  Bevel(c, 312, 240, 312 + 49, 240 + 19, 3, inkDeep, brassLight);

  // Name plate.
  Text(c, 64, 232, "ZORVANE", 4, ink, brassLight);

  // The clock itself in miniature: a triangle of tiers at the bottom right of the screen.
  const int tx = 250, ty = 226, tw = 52, th = 40;
  for (int y = 0; y < th; ++y) {
    double half = (tw / 2.0) * (y + 0.5) / th;
    for (int x = 0; x < tw; ++x) {
      double cx = x + 0.5 - tw / 2.0;
      if (std::abs(cx) > half) continue;
      Rgb col = (y < 5) ? Rgb{0, 84, 227} : ((y % 6 == 5) ? ink : brassLight);
      c.Set(tx + x, ty + y, col);
    }
  }

  // Four screws.
  for (auto [sx, sy] : std::array<std::pair<int, int>, 4>{{{52, 40}, {368, 40}, {52, 278}, {368, 278}}})
    for (int y = -5; y <= 5; ++y)
      for (int x = -5; x <= 5; ++x) {
        double r = std::sqrt(double(x * x + y * y));
        if (r > 4.6) continue;
        Rgb col = Mix(brassLight, inkDeep, (x + y + 10) / 20.0);
        if (std::abs(x - y) <= 0) col = inkDeep;  // the slot
        c.Set(sx + x, sy + y, col);
      }
  return c;
}

// ---- palette and files ----

// The 16 Windows system colours, in their palette order.
const Rgb kSystem16[16] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                           {0, 0, 128},   {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                           {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                           {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};


std::array<Rgb, 256> MakePalette(const std::vector<Rgb>& wanted) {
  // The first 16 are the Windows system colours; the rest are chosen from the picture by
  // repeatedly splitting the widest box of colours (median cut); entry 178 is the key.
  std::array<Rgb, 256> pal{};
  for (int i = 0; i < 16; ++i) pal[size_t(i)] = kSystem16[i];
  std::vector<std::vector<Rgb>> boxes{wanted};
  while (boxes.size() < 239) {
    size_t best = 0;
    int bestRange = -1, bestAxis = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].size() < 2) continue;
      for (int axis = 0; axis < 3; ++axis) {
        int lo = 255, hi = 0;
        for (auto& p : boxes[i]) {
          int v = axis == 0 ? p.r : axis == 1 ? p.g : p.b;
          lo = std::min(lo, v);
          hi = std::max(hi, v);
        }
        if (hi - lo > bestRange) {
          bestRange = hi - lo;
          best = i;
          bestAxis = axis;
        }
      }
    }
    if (bestRange <= 0) break;
    auto& b = boxes[best];
    std::sort(b.begin(), b.end(), [&](const Rgb& p, const Rgb& q) {
      return (bestAxis == 0 ? p.r : bestAxis == 1 ? p.g : p.b) <
             (bestAxis == 0 ? q.r : bestAxis == 1 ? q.g : q.b);
    });
    std::vector<Rgb> upper(b.begin() + long(b.size() / 2), b.end());
    b.resize(b.size() / 2);
    boxes.push_back(std::move(upper));
  }
  size_t slot = 16;
  for (auto& b : boxes) {
    if (slot == kKeyIndex) ++slot;
    if (slot >= 256 || b.empty()) continue;
    long r = 0, g = 0, bl = 0;
    for (auto& p : b) {
      r += p.r;
      g += p.g;
      bl += p.b;
    }
    long n = long(b.size());
    pal[slot++] = {int(r / n), int(g / n), int(bl / n)};
  }
  for (; slot < 256; ++slot) pal[slot] = {0, 0, 0};
  pal[kKeyIndex] = kKey;
  return pal;
}

int Nearest(const std::array<Rgb, 256>& pal, Rgb c) {
  int best = 0;
  long bestD = 1L << 40;
  for (int i = 0; i < 256; ++i) {
    if (i == kKeyIndex) continue;  // only see-through pixels may use the key
    long dr = c.r - pal[size_t(i)].r, dg = c.g - pal[size_t(i)].g, db = c.b - pal[size_t(i)].b;
    long d = dr * dr * 3 + dg * dg * 4 + db * db * 2;
    if (d < bestD) {
      bestD = d;
      best = i;
    }
  }
  return best;
}

void Put16(std::vector<uint8_t>& o, unsigned v) {
  o.push_back(uint8_t(v));
  o.push_back(uint8_t(v >> 8));
}
void Put32(std::vector<uint8_t>& o, uint32_t v) {
  Put16(o, v & 0xFFFF);
  Put16(o, v >> 16);
}

std::vector<uint8_t> AboutBmp(const Canvas& c) {
  std::vector<Rgb> wanted;
  for (size_t i = 0; i < c.px.size(); ++i)
    if (!c.key[i]) wanted.push_back(c.px[i]);
  auto pal = MakePalette(wanted);
  const int stride = (W + 3) / 4 * 4;
  std::vector<uint8_t> o;
  const uint32_t offset = 14 + 40 + 256 * 4, size = offset + uint32_t(stride * H);
  o.push_back('B');
  o.push_back('M');
  Put32(o, size);
  Put32(o, 0);
  Put32(o, offset);
  Put32(o, 40);
  Put32(o, W);
  Put32(o, H);  // positive: rows bottom-up
  Put16(o, 1);
  Put16(o, 8);
  Put32(o, 0);  // BI_RGB
  Put32(o, uint32_t(stride * H));
  Put32(o, 3811);
  Put32(o, 3811);
  Put32(o, 256);
  Put32(o, 0);
  for (auto& p : pal) {
    o.push_back(uint8_t(p.b));
    o.push_back(uint8_t(p.g));
    o.push_back(uint8_t(p.r));
    o.push_back(0);
  }
  for (int y = H - 1; y >= 0; --y) {
    for (int x = 0; x < W; ++x)
      o.push_back(c.key[size_t(y * W + x)] ? uint8_t(kKeyIndex) : uint8_t(Nearest(pal, c.Get(x, y))));
    for (int x = W; x < stride; ++x) o.push_back(0);
  }
  return o;
}

// ---- the icon: the triangle clock on a transparent ground, in the 16 Windows colours ----

// The icon drawn at n x n: indices into kSystem16, -1 where it is transparent; rows top-down.
std::vector<int> IconPixels(int n) {
  // Colour indices into the 16-colour system palette.
  enum { Black = 0, Maroon = 1, Olive = 3, Silver = 7, Grey = 8, Blue = 12, White = 15, Yellow = 11 };
  std::vector<int> pix(size_t(n * n), -1);  // -1: transparent
  const double top = n * 0.06, bottom = n * 0.94, half = n * 0.47;
  for (int y = 0; y < n; ++y)
    for (int x = 0; x < n; ++x) {
      double yc = y + 0.5, xc = x + 0.5 - n / 2.0;
      if (yc < top || yc > bottom) continue;
      double w = half * (yc - top) / (bottom - top);
      if (std::abs(xc) > w) continue;
      double f = (yc - top) / (bottom - top);
      int c;
      if (f < 0.16) c = Blue;                              // the blue tip
      else if (std::abs(xc) > w - (n >= 32 ? 1.5 : 1.0)) c = Black;  // outline
      else if (std::fmod(f * 7, 1.0) < (n >= 32 ? 0.16 : 0.22)) c = Maroon;  // tier rules
      else c = (int(f * 7) % 2) ? Silver : Yellow;
      if (c == Yellow) c = Olive == 3 ? Silver : c;
      pix[size_t(y * n + x)] = c;
    }
  // The mark down the middle.
  for (int y = int(n * 0.3); y < int(n * 0.9); ++y) {
    int x = n / 2 - 1;
    if (pix[size_t(y * n + x)] >= 0) pix[size_t(y * n + x)] = Maroon;
  }
  (void)White;
  (void)Grey;
  return pix;
}

// One image of the .ico: a 4-bit DIB with its AND mask.
std::vector<uint8_t> IconImage(int n) {
  const std::vector<int> pix = IconPixels(n);
  // AND mask rows are 1 bit per pixel padded to 32 bits; XOR rows 4 bits per pixel.
  const int xorStride = (n / 2 + 3) / 4 * 4, andStride = ((n + 31) / 32) * 4;
  std::vector<uint8_t> o;
  Put32(o, 40);
  Put32(o, uint32_t(n));
  Put32(o, uint32_t(2 * n));  // icons count the mask in the height
  Put16(o, 1);
  Put16(o, 4);
  Put32(o, 0);
  Put32(o, uint32_t((xorStride + andStride) * n));
  Put32(o, 0);
  Put32(o, 0);
  Put32(o, 16);
  Put32(o, 0);
  for (auto& p : kSystem16) {
    o.push_back(uint8_t(p.b));
    o.push_back(uint8_t(p.g));
    o.push_back(uint8_t(p.r));
    o.push_back(0);
  }
  for (int y = n - 1; y >= 0; --y) {
    for (int x = 0; x < n; x += 2) {
      int a = std::max(0, pix[size_t(y * n + x)]), b = std::max(0, pix[size_t(y * n + x + 1)]);
      o.push_back(uint8_t(a << 4 | b));
    }
    for (int x = n / 2; x < xorStride; ++x) o.push_back(0);
  }
  for (int y = n - 1; y >= 0; --y) {
    std::vector<uint8_t> row(size_t(andStride), 0);
    for (int x = 0; x < n; ++x)
      if (pix[size_t(y * n + x)] < 0) row[size_t(x / 8)] |= uint8_t(0x80 >> (x % 8));
    o.insert(o.end(), row.begin(), row.end());
  }
  return o;
}

std::vector<uint8_t> Ico() {
  std::vector<std::vector<uint8_t>> images{IconImage(32), IconImage(16)};
  std::vector<uint8_t> o;
  Put16(o, 0);
  Put16(o, 1);
  Put16(o, uint32_t(images.size()));
  uint32_t offset = 6 + 16 * uint32_t(images.size());
  int sizes[2] = {32, 16};
  for (size_t i = 0; i < images.size(); ++i) {
    o.push_back(uint8_t(sizes[i]));
    o.push_back(uint8_t(sizes[i]));
    o.push_back(16);  // colours
    o.push_back(0);
    Put16(o, 1);
    Put16(o, 4);
    Put32(o, uint32_t(images[i].size()));
    Put32(o, offset);
    offset += uint32_t(images[i].size());
  }
  for (auto& im : images) o.insert(o.end(), im.begin(), im.end());
  return o;
}

// ---- the icon as PNG, for the Linux desktop's icon theme ----

void PutBE32(std::vector<uint8_t>& o, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) o.push_back(uint8_t(v >> shift));
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) c = table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

uint32_t Adler32(const std::vector<uint8_t>& d) {
  uint32_t a = 1, b = 0;
  for (uint8_t v : d) {
    a = (a + v) % 65521;
    b = (b + a) % 65521;
  }
  return b << 16 | a;
}

void Chunk(std::vector<uint8_t>& o, const char* type, const std::vector<uint8_t>& data) {
  PutBE32(o, uint32_t(data.size()));
  const size_t start = o.size();
  o.insert(o.end(), type, type + 4);
  o.insert(o.end(), data.begin(), data.end());
  PutBE32(o, Crc32(o.data() + start, o.size() - start));
}

// A zlib stream of stored (uncompressed) deflate blocks: no compressor needed, any reader copes.
std::vector<uint8_t> ZlibStored(const std::vector<uint8_t>& d) {
  std::vector<uint8_t> o{0x78, 0x01};
  size_t pos = 0;
  do {
    const size_t len = std::min<size_t>(65535, d.size() - pos);
    o.push_back(pos + len == d.size() ? 1 : 0);  // BFINAL on the last block, BTYPE 00
    Put16(o, unsigned(len));
    Put16(o, unsigned(~len & 0xFFFF));
    o.insert(o.end(), d.begin() + long(pos), d.begin() + long(pos + len));
    pos += len;
  } while (pos < d.size());
  PutBE32(o, Adler32(d));
  return o;
}

// The zlib stream of a PNG's image data: compressed where zlib is at hand.
std::vector<uint8_t> Zlib(const std::vector<uint8_t>& d) {
#if ZORVANE_ZLIB
  uLongf size = compressBound(uLong(d.size()));
  std::vector<uint8_t> o(size);
  if (compress2(o.data(), &size, d.data(), uLong(d.size()), Z_BEST_COMPRESSION) == Z_OK) {
    o.resize(size);
    return o;
  }
#endif
  return ZlibStored(d);
}

// The desktop icon at n x n as an 8-bit RGBA PNG with straight alpha.
std::vector<uint8_t> IconPng(const std::vector<icon_art::Shape>& art, int n) {
  const std::vector<uint8_t> rgba = icon_art::Rasterise(art, n);
  std::vector<uint8_t> o{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> ihdr;
  PutBE32(ihdr, uint32_t(n));
  PutBE32(ihdr, uint32_t(n));
  ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});  // depth 8, RGBA, deflate, filter 0, no interlace
  Chunk(o, "IHDR", ihdr);
  const size_t stride = size_t(n) * 4;
  std::vector<uint8_t> raw;
  raw.reserve(size_t(n) * (stride + 1));
  for (size_t y = 0; y < size_t(n); ++y) {
    raw.push_back(0);  // filter: none
    raw.insert(raw.end(), rgba.begin() + long(y * stride), rgba.begin() + long((y + 1) * stride));
  }
  Chunk(o, "IDAT", Zlib(raw));
  Chunk(o, "IEND", {});
  return o;
}

bool Write(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  std::string dir = argc > 1 ? argv[1] : ".";
  Canvas about = DrawAbout();
  long keyed = std::count(about.key.begin(), about.key.end(), true);
  std::printf("about.bmp: %.1f %% see-through\n", 100.0 * double(keyed) / double(W * H));
  if (!Write(dir + "/about.bmp", AboutBmp(about)) || !Write(dir + "/zorvane.ico", Ico())) {
    std::perror("make_assets");
    return 1;
  }
  // The desktop icon: one drawing, as pixels at each theme size and as the scalable file.
  const std::vector<icon_art::Shape> art = icon_art::ClockIcon();
  const std::string svg = icon_art::Svg(art);
  std::vector<std::pair<std::string, std::vector<uint8_t>>> icons;
  for (int n : {16, 32, 48, 256}) icons.push_back({std::to_string(n) + "/zorvane.png", IconPng(art, n)});
  icons.push_back({"scalable/zorvane.svg", std::vector<uint8_t>(svg.begin(), svg.end())});
  for (const auto& [name, bytes] : icons) {
    const std::filesystem::path path = dir + "/icons/" + name;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    if (ec || !Write(path.string(), bytes)) {
      std::fprintf(stderr, "make_assets: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  return 0;
}
