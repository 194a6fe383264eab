// The one reading of UTF-8: what counts as a character, and what is replaced where only valid
// UTF-8 may go out.
#include <gtest/gtest.h>

#include "platform/common/utf8.h"

namespace {

TEST(Utf8, BadSequencesBecomeReplacementCharacters) {
  struct Row {
    const char* what;
    std::string_view bytes;
    std::u32string want;
  } rows[] = {
      {"plain and two-to-four-byte characters", "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x95\x90",
       U"a\u00E9\u20AC\U0001F550"},
      {"a lone continuation byte", "a\x80z", U"a\uFFFDz"},
      {"an overlong slash", "\xC0\xAF", U"\uFFFD\uFFFD"},
      {"an overlong three-byte form", "\xE0\x80\xAF", U"\uFFFD\uFFFD\uFFFD"},
      {"a surrogate", "\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"lead bytes F5-FF", "\xF5\xF8\xFF", U"\uFFFD\uFFFD\uFFFD"},
      {"cut short at the end", "ok\xE2\x82", U"ok\uFFFD\uFFFD"},
      {"cut short by ASCII", "\xF0\x9F" "x", U"\uFFFD\uFFFDx"},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(plat::DecodeUtf8(r.bytes), r.want) << r.what;
    // Whatever came in, what goes out again decodes to the same characters: it is valid.
    const std::string out = plat::EncodeUtf8(plat::DecodeUtf8(r.bytes));
    EXPECT_EQ(plat::DecodeUtf8(out), r.want) << r.what;
  }
  EXPECT_EQ(plat::EncodeUtf8(std::u32string(1, char32_t(0x110000))), "\xEF\xBF\xBD");  // past the last
}

// The settings file keeps lone surrogates (to give back the UTF-16 it read); nothing else does.
TEST(Utf8, SurrogatesOnlyWhereAskedFor) {
  EXPECT_TRUE(plat::Utf8At("\xED\xA0\x80", 0, true).valid);
  EXPECT_FALSE(plat::Utf8At("\xED\xA0\x80", 0).valid);
}

}  // namespace
