// One reading of UTF-8 for the whole program: which bytes make a character, and which do not.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace plat {

struct Utf8Char {
  char32_t code;       // the character; for a byte that starts no valid sequence, that byte
  std::size_t length;  // bytes it takes: 1 for a byte that starts no valid sequence
  bool valid;
};

// The character at in[at]. Valid means well-formed UTF-8: no overlong form, nothing above
// U+10FFFF, no sequence cut short, and no surrogate (U+D800-DFFF) unless `surrogates` allows
// them, as the settings file does to give back the UTF-16 it read.
Utf8Char Utf8At(std::string_view in, std::size_t at, bool surrogates = false);

// The text as characters, each byte that starts no valid sequence replaced by U+FFFD: what may
// go out where only valid UTF-8 is allowed (D-Bus drops a client that sends anything else).
std::u32string DecodeUtf8(std::string_view in);
std::string EncodeUtf8(std::u32string_view in);

}  // namespace plat
