#include "platform/common/utf8.h"

namespace plat {

Utf8Char Utf8At(std::string_view in, std::size_t at, bool surrogates) {
  auto b = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(in[k])); };
  auto cont = [&](std::size_t k) { return k < in.size() && (b(k) & 0xC0) == 0x80; };
  const char32_t c = b(at);
  if (c < 0x80) return {c, 1, true};
  if (c >= 0xC2 && c <= 0xDF && cont(at + 1)) return {(c & 0x1F) << 6 | (b(at + 1) & 0x3F), 2, true};
  if (c >= 0xE0 && c <= 0xEF && cont(at + 1) && cont(at + 2) && (c != 0xE0 || b(at + 1) >= 0xA0) &&
      (surrogates || c != 0xED || b(at + 1) < 0xA0))
    return {(c & 0x0F) << 12 | (b(at + 1) & 0x3F) << 6 | (b(at + 2) & 0x3F), 3, true};
  if (c >= 0xF0 && c <= 0xF4 && cont(at + 1) && cont(at + 2) && cont(at + 3) &&
      (c != 0xF0 || b(at + 1) >= 0x90) && (c != 0xF4 || b(at + 1) < 0x90))
    return {(c & 0x07) << 18 | (b(at + 1) & 0x3F) << 12 | (b(at + 2) & 0x3F) << 6 | (b(at + 3) & 0x3F),
            4, true};
  return {c, 1, false};
}

std::u32string DecodeUtf8(std::string_view in) {
  std::u32string out;
  for (std::size_t i = 0; i < in.size();) {
    const Utf8Char ch = Utf8At(in, i);
    out += ch.valid ? ch.code : U'\uFFFD';
    i += ch.length;
  }
  return out;
}

std::string EncodeUtf8(std::u32string_view in) {
  std::string out;
  for (char32_t c : in) {
    if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) c = U'\uFFFD';
    if (c < 0x80) {
      out += char(c);
    } else if (c < 0x800) {
      out += {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    } else if (c < 0x10000) {
      out += {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    } else {
      out += {char(0xF0 | (c >> 18)), char(0x80 | ((c >> 12) & 0x3F)),
              char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    }
  }
  return out;
}

}  // namespace plat
