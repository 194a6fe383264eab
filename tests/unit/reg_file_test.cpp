// The .reg text form of the settings hive: parsing, writing, and the round trip between them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/emulated/hive.h"
#include "platform/registry.h"

namespace plat {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct NamedValue {
  std::string name;
  RegValue value;
};
struct KeyEntry {
  std::string path;
  std::vector<NamedValue> values;
};

Hive MakeHive(const std::vector<KeyEntry>& keys) {
  Hive hive;
  for (const KeyEntry& k : keys) {
    HiveKey& key = hive.Create(k.path);
    for (const NamedValue& v : k.values) hive.Set(key, v.name, v.value);
  }
  return hive;
}

RegValue Sz(const std::string& text) {
  Bytes data(text.begin(), text.end());
  data.push_back(0);
  return {kRegSz, data};
}

RegValue Dword(std::uint32_t n) {
  return {kRegDword,
          {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
           static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
}

// Any other value. A function, not `{type, {bytes}}` in the tables: GCC 12 warns
// (-Wmaybe-uninitialized, wrongly) about vectors brace-built inside an array of cases.
RegValue Raw(std::uint32_t type, Bytes data) { return {type, std::move(data)}; }

const std::string kHeader = "Windows Registry Editor Version 5.00";

// UTF-8 text as UTF-16LE bytes (characters of the Basic Multilingual Plane only).
std::string Utf16(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    unsigned c = static_cast<unsigned char>(utf8[i]);
    unsigned u = c;
    int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
    if (len == 2) u = (c & 0x1F) << 6 | (utf8[i + 1] & 0x3F);
    if (len == 3) u = (c & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F);
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
    i += len;
  }
  return out;
}
const std::string kZorvane = "HKEY_CURRENT_USER\\Software\\Zorvane";

struct RoundTripCase {
  const char* label;
  Hive hive;
};

TEST(RegFile, FormatThenParseGivesTheSameHive) {
  const RoundTripCase cases[] = {
      {"empty hive", Hive()},
      {"key without values", MakeHive({{kZorvane, {}}})},
      {"quotes and backslashes",
       MakeHive({{kZorvane, {{"Na\"me\\", Sz("C:\\dir\\\"q\" \\\\")}, {"Tail", Sz("ends in \\")}}}})},
      {"empty string", MakeHive({{kZorvane, {{"Empty", Sz("")}}}})},
      {"default value", MakeHive({{kZorvane, {{"", Sz("default")}, {"Other", Dword(1)}}}})},
      {"dword", MakeHive({{kZorvane, {{"Big", Dword(0xdeadbeef)}, {"Zero", Dword(0)}}}})},
      {"hex(4) of two bytes", MakeHive({{kZorvane, {{"Short", {kRegDword, {0x34, 0x12}}}}}})},
      {"expand string", MakeHive({{kZorvane, {{"Dir", {kRegExpandSz, {'%', 'H', '%', 0}}}}}})},
      {"qword", MakeHive({{kZorvane, {{"Q", {kRegQword, {1, 2, 3, 4, 5, 6, 7, 0xff}}}}}})},
      {"binary and empty binary",
       MakeHive({{kZorvane, {{"Blob", {kRegBinary, {0, 0x7f, 0x80, 0xff}}}, {"None", {kRegBinary, {}}}}}})},
      {"multi string", MakeHive({{kZorvane, {{"List", {kRegMultiSz, {'a', 0, 'b', 0, 0}}}}}})},
      {"string without terminator", MakeHive({{kZorvane, {{"Raw", {kRegSz, {'a', 'b'}}}}}})},
      {"string with empty data", MakeHive({{kZorvane, {{"Nothing", {kRegSz, {}}}}}})},
      {"string with inner zero", MakeHive({{kZorvane, {{"Z", {kRegSz, {'a', 0, 'b', 0}}}}}})},
      {"string with line breaks", MakeHive({{kZorvane, {{"NL", Sz("one\ntwo\r\n")}}}})},
      {"utf-8 text", MakeHive({{kZorvane, {{"City", Sz("Z\xC3\xBCrich")}}}})},
      {"type none and odd types",
       MakeHive({{kZorvane, {{"N", {kRegNone, {}}}, {"Odd", {0xffffffffu, {9}}}, {"T", {0x1234, {}}}}}})},
      {"several keys, values not sorted",
       MakeHive({{kZorvane, {{"zeta", Dword(3)}, {"Alpha", Dword(1)}, {"mid", Sz("m")}}},
                 {"HKEY_CURRENT_USER\\Software\\Zorvane\\Alarms", {{"B", Dword(2)}, {"a", Dword(1)}}},
                 {"HKEY_LOCAL_MACHINE\\Software\\Other", {}}})},
  };
  for (const RoundTripCase& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string text = FormatRegFile(c.hive);
    std::string error;
    std::optional<Hive> parsed = ParseRegFile(text, &error);
    ASSERT_TRUE(parsed.has_value()) << error << "\n" << text;
    EXPECT_TRUE(*parsed == c.hive) << text;
    EXPECT_EQ(FormatRegFile(*parsed), text);
  }
}

TEST(RegFile, ValuesWrittenInTheirShortestForm) {
  struct Case {
    const char* label;
    std::string name;
    RegValue value;
    std::string line;
  };
  const Case cases[] = {
      {"text with escapes", "Q\"\\", Sz("a\"b\\c"), "\"Q\\\"\\\\\"=\"a\\\"b\\\\c\""},
      {"empty text", "E", Sz(""), "\"E\"=\"\""},
      {"default value", "", Sz("d"), "@=\"d\""},
      {"dword lowercase", "D", Dword(0xABCDEF01), "\"D\"=dword:abcdef01"},
      {"dword of two bytes", "D", Raw(kRegDword, {0x0a, 0x00}), "\"D\"=hex(4):0a,00"},
      {"dword of no bytes", "D", Raw(kRegDword, {}), "\"D\"=hex(4):"},
      {"binary", "B", Raw(kRegBinary, {0x00, 0xAB, 0x10}), "\"B\"=hex:00,ab,10"},
      {"empty binary", "B", Raw(kRegBinary, {}), "\"B\"=hex:"},
      {"expand string", "X", Raw(kRegExpandSz, {'a', 0}), "\"X\"=hex(2):61,00"},
      {"qword", "Q", Raw(kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}), "\"Q\"=hex(b):01,00,00,00,00,00,00,00"},
      {"text missing terminator", "S", Raw(kRegSz, {'h', 'i'}), "\"S\"=hex(1):68,69"},
      {"text with two terminators", "S", Raw(kRegSz, {'h', 0, 0}), "\"S\"=hex(1):68,00,00"},
      {"text with a newline", "S", Sz("a\nb"), "\"S\"=hex(1):61,0a,62,00"},
      {"text with a carriage return", "S", Sz("a\r"), "\"S\"=hex(1):61,0d,00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    const std::string expected = kHeader + "\n\n[K]\n" + c.line + "\n\n";
    EXPECT_EQ(FormatRegFile(MakeHive({{"K", {{c.name, c.value}}}})), expected);
  }
}

TEST(RegFile, FormatsOneValueHiveExactly) {
  Hive hive = MakeHive({{kZorvane, {{"Format", Dword(1)}}}});
  EXPECT_EQ(FormatRegFile(hive),
            "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\Zorvane]\n"
            "\"Format\"=dword:00000001\n\n");
}

TEST(RegFile, FormatsKeysInOrderWithBlankLineAfterEach) {
  Hive hive = MakeHive({{"HKEY_CURRENT_USER\\b", {{"y", Dword(2)}, {"x", Dword(1)}}},
                        {"HKEY_CURRENT_USER\\A", {}}});
  EXPECT_EQ(FormatRegFile(hive),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CURRENT_USER\\A]\n\n"
            "[HKEY_CURRENT_USER\\b]\n\"y\"=dword:00000002\n\"x\"=dword:00000001\n\n");
}

TEST(RegFile, ParsesFilesWrittenByOtherTools) {
  struct Case {
    const char* label;
    std::string text;
    Hive expected;
  };
  const Case cases[] = {
      {"CRLF line ends",
       kHeader + "\r\n\r\n[" + kZorvane + "]\r\n\"A\"=dword:0000000a\r\n\"S\"=\"x\"\r\n",
       MakeHive({{kZorvane, {{"A", Dword(10)}, {"S", Sz("x")}}}})},
      {"byte order mark, comments and blank lines",
       "\xEF\xBB\xBF" + kHeader + "\n; exported by hand\n\n\n[" + kZorvane +
           "]\n;\"Hidden\"=dword:00000001\n\n\"A\"=dword:00000001\n",
       MakeHive({{kZorvane, {{"A", Dword(1)}}}})},
      {"hex list over several lines",
       kHeader + "\n[K]\n\"Bin\"=hex:01,02,\\\n  03,04,\\\n\t05\n\"After\"=dword:00000002\n",
       MakeHive({{"K", {{"Bin", {kRegBinary, {1, 2, 3, 4, 5}}}, {"After", Dword(2)}}}})},
      {"continuation with CRLF",
       kHeader + "\r\n[K]\r\n\"E\"=hex(2):25,00,\\\r\n  00\r\n",
       MakeHive({{"K", {{"E", {kRegExpandSz, {0x25, 0, 0}}}}}})},
      {"upper case hex digits and no final newline",
       kHeader + "\n[K]\n\"D\"=dword:0000ABCD\n\"B\"=hex(B):FF,0A",
       MakeHive({{"K", {{"D", Dword(0xabcd)}, {"B", {kRegQword, {0xff, 0x0a}}}}}})},
      {"default value and spaces around =",
       kHeader + "\n[K]\n@=\"root\"\n\"N\" = dword:00000005\n",
       MakeHive({{"K", {{"", Sz("root")}, {"N", Dword(5)}}}})},
      {"repeated key and value merge, later wins",
       kHeader + "\n[K]\n\"A\"=dword:00000001\n[L]\n[k]\n\"a\"=dword:00000002\n\"B\"=hex:\n",
       MakeHive({{"K", {{"A", Dword(2)}, {"B", {kRegBinary, {}}}}}, {"L", {}}})},
      {"semicolon inside a string is text", kHeader + "\n[K]\n\"S\"=\"a;b\"\n",
       MakeHive({{"K", {{"S", Sz("a;b")}}}})},
      {"older REGEDIT4 header", "REGEDIT4\r\n\r\n[K]\r\n\"A\"=dword:00000003\r\n",
       MakeHive({{"K", {{"A", Dword(3)}}}})},
      {"UTF-16LE as regedit exports it",
       Utf16("\uFEFF" + kHeader + "\r\n\r\n[K]\r\n\"A\"=dword:00000003\r\n\"S\"=\"Z\u00fcrich\"\r\n"),
       MakeHive({{"K", {{"A", Dword(3)}, {"S", Sz("Z\xC3\xBCrich")}}}})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string error;
    std::optional<Hive> parsed = ParseRegFile(c.text, &error);
    ASSERT_TRUE(parsed.has_value()) << error;
    EXPECT_TRUE(*parsed == c.expected) << FormatRegFile(*parsed);
  }
}

TEST(RegFile, RejectsTextItDoesNotFullyUnderstand) {
  struct Case {
    const char* label;
    std::string text;
    int line;  // the line the error should name
  };
  const std::string head = kHeader + "\n[K]\n";  // values below start on line 3
  const Case cases[] = {
      {"empty file", "", 1},
      {"missing header", "[K]\n\"A\"=dword:00000001\n", 1},
      {"header with trailing blank", kHeader + " \n[K]\n", 1},
      {"UTF-16 of an odd length", "\xFF\xFE" "W\0i\0n", 1},
      {"comment before header", "; settings\n" + kHeader + "\n", 1},
      {"value before any key", kHeader + "\n\n\"A\"=dword:00000001\n[K]\n", 3},
      {"truncated in a string", head + "\"A\"=\"abc", 3},
      {"truncated in a name", head + "\"Ab", 3},
      {"string ends in a lone backslash", head + "\"A\"=\"abc\\\"\n", 3},
      {"unknown escape", head + "\"A\"=\"a\\nb\"\n", 3},
      {"unknown escape in name", head + "\"A\\t\"=\"x\"\n", 3},
      {"text after the string", head + "\"A\"=\"x\" y\n", 3},
      {"missing =", head + "\"A\" dword:00000001\n", 3},
      {"missing value", head + "\"A\"=\n", 3},
      {"dword too short", head + "\"A\"=dword:0000001\n", 3},
      {"dword too long", head + "\"A\"=dword:000000001\n", 3},
      {"dword not hex", head + "\"A\"=dword:0000000g\n", 3},
      {"hex byte not hex", head + "\"A\"=hex:01,0g\n", 3},
      {"hex byte of one digit", head + "\"A\"=hex:01,2\n", 3},
      {"hex list ends in a comma", head + "\"A\"=hex:01,\n", 3},
      {"bad hex type", head + "\"A\"=hex(zz):01\n", 3},
      {"unclosed hex type", head + "\"A\"=hex(2:01\n", 3},
      {"continuation cut off by end of file", head + "\"A\"=hex:01,\\\n  02,\\\n", 4},
      {"continuation broken by a blank line", head + "\"A\"=hex:01,\\\n\n02\n", 3},
      {"value deletion", head + "\"A\"=-\n", 3},
      {"default value deletion", head + "@=-\n", 3},
      {"key deletion", kHeader + "\n[-K]\n", 2},
      {"unclosed key", kHeader + "\n[K\n", 2},
      {"empty key", kHeader + "\n[]\n", 2},
      {"unknown value form", head + "\"A\"=qword:01\n", 3},
      {"bare word line", head + "A=dword:00000001\n", 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string error;
    EXPECT_FALSE(ParseRegFile(c.text, &error).has_value());
    EXPECT_EQ(error.rfind("line " + std::to_string(c.line) + ":", 0), 0u) << error;
  }
}

struct UpdateCase {
  const char* label;
  std::string before;
  std::vector<KeyEntry> set;  // values set on the parsed file
  std::string after;
};

TEST(RegFile, UpdateChangesOnlyWhatDiffers) {
  const std::string z = "[" + kZorvane + "]";
  const UpdateCase cases[] = {
      {"comments, blank lines, CRLF and BOM stay",
       "\xEF\xBB\xBF" + kHeader + "\r\n; mine\r\n\r\n" + z + "\r\n\"Format\"=dword:00000001\r\n"
       "  ; the mark\r\n\"Mark\" = dword:00000000\r\n\r\n",
       {{kZorvane, {{"Mark", Dword(1)}}}},
       "\xEF\xBB\xBF" + kHeader + "\r\n; mine\r\n\r\n" + z + "\r\n\"Format\"=dword:00000001\r\n"
       "  ; the mark\r\n\"Mark\"=dword:00000001\r\n\r\n"},
      {"same value: not a byte changes", "REGEDIT4\n[K]\n\"A\" = dword:00000001 \n;x",
       {{"K", {{"a", Dword(1)}}}}, "REGEDIT4\n[K]\n\"A\" = dword:00000001 \n;x"},
      {"new value after the key's last value, in its last section",
       kHeader + "\n[K]\n\"A\"=dword:00000001\n; end of K\n[L]\n[k]\n\"B\"=hex:01,\\\n 02\n\n",
       {{"K", {{"C", Dword(3)}}}},
       kHeader + "\n[K]\n\"A\"=dword:00000001\n; end of K\n[L]\n[k]\n\"B\"=hex:01,\\\n 02\n"
       "\"C\"=dword:00000003\n\n"},
      {"continued value rewritten on one line; the winning duplicate changes",
       kHeader + "\n[K]\n\"B\"=hex:01\n\"B\"=hex:01,\\\n 02\n;after\n", {{"K", {{"b", {kRegBinary, {9}}}}}},
       kHeader + "\n[K]\n\"B\"=hex:01\n\"B\"=hex:09\n;after\n"},
      {"new key at the end; missing final line end added",
       kHeader + "\r\n[K]\r\n\"A\"=dword:00000001", {{kZorvane, {{"Format", Dword(0)}}}},
       kHeader + "\r\n[K]\r\n\"A\"=dword:00000001\r\n\r\n" + z + "\r\n\"Format\"=dword:00000000\r\n\r\n"},
      {"value into a key without values", kHeader + "\n\n" + z + "\n", {{kZorvane, {{"Mark", Dword(1)}}}},
       kHeader + "\n\n" + z + "\n\"Mark\"=dword:00000001\n"},
      {"UTF-16 stays UTF-16",
       Utf16("\uFEFF" + kHeader + "\r\n\r\n[K]\r\n\"S\"=\"\u00e9\"\r\n\"A\"=dword:00000001\r\n"),
       {{"K", {{"A", Dword(2)}}}},
       Utf16("\uFEFF" + kHeader + "\r\n\r\n[K]\r\n\"S\"=\"\u00e9\"\r\n\"A\"=dword:00000002\r\n")},
  };
  for (const UpdateCase& c : cases) {
    SCOPED_TRACE(c.label);
    std::optional<Hive> hive = ParseRegFile(c.before);
    ASSERT_TRUE(hive.has_value());
    for (const KeyEntry& k : c.set) {
      for (const NamedValue& v : k.values) hive->Set(hive->Create(k.path), v.name, v.value);
    }
    std::optional<std::string> after = UpdateRegFile(c.before, *hive);
    ASSERT_TRUE(after.has_value());
    EXPECT_EQ(*after, c.after);
    std::optional<Hive> again = ParseRegFile(*after);
    ASSERT_TRUE(again.has_value());
    EXPECT_TRUE(again->SameValues(*hive)) << *after;
  }
}

TEST(RegFile, UpdateDropsWhatTheHiveNoLongerHolds) {
  const std::string before =
      kHeader + "\n[K]\n\"A\"=dword:00000001\n\"B\"=hex:01,\\\n 02\n[L]\n; gone too\n\"X\"=\"y\"\n";
  Hive hive = *ParseRegFile(before);
  hive.keys.erase("L");
  hive.Find("K")->values.erase("B");
  EXPECT_EQ(UpdateRegFile(before, hive), kHeader + "\n[K]\n\"A\"=dword:00000001\n");
  EXPECT_FALSE(UpdateRegFile("not a registry file", hive).has_value());
}

TEST(Hive, NamesMatchWithoutCaseButKeepFirstSpelling) {
  Hive hive;
  HiveKey& key = hive.Create("HKEY_CURRENT_USER\\Software\\Zorvane");
  EXPECT_EQ(&hive.Create("hkey_current_user\\SOFTWARE\\zorvane"), &key);
  EXPECT_EQ(hive.Find("HKEY_CURRENT_USER\\software\\ZORVANE"), &key);
  EXPECT_EQ(hive.Find("HKEY_CURRENT_USER\\Software"), nullptr);
  EXPECT_EQ(key.path, "HKEY_CURRENT_USER\\Software\\Zorvane");

  hive.Set(key, "Format", Dword(1));
  hive.Set(key, "Alpha", Dword(2));
  hive.Set(key, "FORMAT", Dword(3));
  EXPECT_EQ(key.values.size(), 2u);
  EXPECT_EQ(key.values.begin()->first, "Alpha");
  EXPECT_EQ(key.values.find("format")->first, "Format");
  EXPECT_EQ(key.values.find("format")->second, Dword(3));
  EXPECT_EQ(key.valueOrder, (std::vector<std::string>{"Format", "Alpha"}));
}

TEST(Hive, EqualitySeesValuesOrderAndSpelling) {
  const Hive base = MakeHive({{"K", {{"A", Dword(1)}, {"B", Dword(2)}}}});
  struct Case {
    const char* label;
    Hive other;
    bool equal;
  };
  const Case cases[] = {
      {"same", MakeHive({{"K", {{"A", Dword(1)}, {"B", Dword(2)}}}}), true},
      {"other data", MakeHive({{"K", {{"A", Dword(1)}, {"B", Dword(3)}}}}), false},
      {"other type", MakeHive({{"K", {{"A", Dword(1)}, {"B", {kRegBinary, Dword(2).data}}}}}), false},
      {"other order", MakeHive({{"K", {{"B", Dword(2)}, {"A", Dword(1)}}}}), false},
      {"value spelling", MakeHive({{"K", {{"a", Dword(1)}, {"B", Dword(2)}}}}), false},
      {"key spelling", MakeHive({{"k", {{"A", Dword(1)}, {"B", Dword(2)}}}}), false},
      {"extra key", MakeHive({{"K", {{"A", Dword(1)}, {"B", Dword(2)}}}, {"L", {}}}), false},
      {"missing value", MakeHive({{"K", {{"A", Dword(1)}}}}), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    EXPECT_EQ(base == c.other, c.equal);
    EXPECT_EQ(c.other == base, c.equal);
    // Order and spelling aside, only data, types and the sets of names count.
    const bool sameValues = c.equal || std::string(c.label) == "other order" ||
                            std::string(c.label).find("spelling") != std::string::npos;
    EXPECT_EQ(base.SameValues(c.other), sameValues);
  }
}

TEST(Hive, RootNames) {
  const std::pair<std::uint64_t, const char*> cases[] = {
      {0x80000000u, "HKEY_CLASSES_ROOT"}, {0x80000001u, "HKEY_CURRENT_USER"},
      {0x80000002u, "HKEY_LOCAL_MACHINE"}, {0x80000003u, "HKEY_USERS"},
      {0x80000005u, ""}, {0, ""}, {0x100, ""}, {0x180000001ull, ""},
  };
  for (const auto& [root, name] : cases) EXPECT_EQ(RootName(root), name) << std::hex << root;
}

}  // namespace
}  // namespace plat
