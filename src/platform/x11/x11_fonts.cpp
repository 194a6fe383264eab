// Fonts through fontconfig and Xft, sized for 96 dpi times the desktop's scale, whatever the
// server reports.
#include <fontconfig/fontconfig.h>
#include <sys/stat.h>

#include <cmath>
#include <map>
#include <sstream>
#include <tuple>

#include "platform/x11/x11_internal.h"

namespace plat::x11 {
namespace {

// Debian's fonts-wine installs Tahoma here, outside fontconfig's search path.
constexpr const char* kWineFonts = "/usr/share/wine/fonts";

}  // namespace

std::string InitFonts() {
  if (!FcInit()) return "fontconfig could not be initialised";
  struct stat st {};
  if (stat(kWineFonts, &st) == 0 && S_ISDIR(st.st_mode))
    FcConfigAppFontAddDir(nullptr, reinterpret_cast<const FcChar8*>(kWineFonts));
  if (!FontFor(FontSpec{"Tahoma", 12, true}))
    return "no usable font found (install a TrueType font such as fonts-dejavu-core)";
  return {};
}

XftFont* FontFor(const FontSpec& wanted) {
  static std::map<std::tuple<std::string, int, bool>, XftFont*> cache;
  const int pixels = FontPixels(wanted.points, Scale());
  auto key = std::make_tuple(wanted.name, pixels, wanted.bold);
  if (auto it = cache.find(key); it != cache.end()) return it->second;

  FcPattern* pattern = FcPatternCreate();
  FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(wanted.name.c_str()));
  FcPatternAddDouble(pattern, FC_PIXEL_SIZE, pixels);
  FcPatternAddInteger(pattern, FC_WEIGHT, wanted.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
  // Wine's Tahoma Bold carries bitmaps for small sizes that are not bold at all.
  FcPatternAddBool(pattern, FC_EMBEDDED_BITMAP, FcFalse);
  FcResult result;
  FcPattern* match = XftFontMatch(Server().dpy, Server().screen, pattern, &result);
  FcPatternDestroy(pattern);
  XftFont* font = match ? XftFontOpenPattern(Server().dpy, match) : nullptr;  // takes the pattern
  if (!font && match) FcPatternDestroy(match);
  if (font) cache.emplace(key, font);
  return font;
}

int TextWidth(XftFont* f, const std::string& s) {
  XGlyphInfo g{};
  XftTextExtentsUtf8(Server().dpy, f, reinterpret_cast<const FcChar8*>(s.data()), int(s.size()), &g);
  return g.xOff;
}

std::vector<std::string> WrapText(XftFont* f, const std::string& text, int width) {
  if (text.find('\n') == std::string::npos && TextWidth(f, text) <= width) return {text};
  std::vector<std::string> lines;
  std::istringstream paragraphs(text);
  std::string paragraph;
  while (std::getline(paragraphs, paragraph)) {
    if (!paragraph.empty() && paragraph.back() == '\r') paragraph.pop_back();
    std::istringstream words(paragraph);
    std::string word, line;
    while (words >> word) {
      std::string candidate = line.empty() ? word : line + " " + word;
      if (!line.empty() && TextWidth(f, candidate) > width) {
        lines.push_back(line);
        line = word;
      } else {
        line = candidate;
      }
    }
    lines.push_back(line);
  }
  return lines;
}

}  // namespace plat::x11
