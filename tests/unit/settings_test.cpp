// The settings store over the in-memory hive, and how settings compare.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/null/null_backend.h"
#include "settings/mdl_registry.h"
#include "shared/setting_value.h"

namespace {

using plat::null::World;

void PutRaw(const char* name, std::uint32_t type, std::vector<std::uint8_t> data) {
  plat::Hive& h = World().hive.hive;
  h.Set(h.Create("HKEY_CURRENT_USER\\Software\\Zorvane"), name, {type, std::move(data)});
}

TEST(SettingsStore, ReadingWithoutTheKeyGivesMissingAndCreatesNothing) {
  for (const char* name : {"Format", "Mark", "Position"}) EXPECT_TRUE(ReadSetting(name).IsMissing());
  EXPECT_TRUE(World().hive.hive.keys.empty());
  EXPECT_EQ(World().hive.saves, 0);
}

TEST(SettingsStore, WritingIntoAMissingKeyDoesNothing) {
  WriteSetting("Format", SettingValue(1));
  EXPECT_TRUE(World().hive.hive.keys.empty());
  EXPECT_TRUE(ReadSetting("Format").IsMissing());
}

TEST(SettingsStore, DwordsRoundTrip) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  for (std::int32_t v : {0, 1, 6, 9, -1, 2147483647}) {
    WriteSetting("Position", SettingValue(v));
    SettingValue back = ReadSetting("Position");
    EXPECT_TRUE(back.IsNumber());
    EXPECT_EQ(back, v);
  }
  // A stored 0 is a value, not a first start.
  WriteSetting("Format", SettingValue(0));
  EXPECT_FALSE(ReadSetting("Format").IsMissingOrEmpty());
}

TEST(SettingsStore, OnlyDwordAndStringTypesAreRead) {
  struct Row {
    std::uint32_t type;
    std::vector<std::uint8_t> data;
    bool missing;
    SettingValue expect;
  } rows[] = {
      {plat::kRegDword, {6, 0, 0, 0}, false, SettingValue(6)},
      {plat::kRegDword, {0xFF, 0xFF, 0xFF, 0xFF}, false, SettingValue(-1)},
      {plat::kRegSz, {'1', 0}, false, SettingValue(std::string("1"))},
      {plat::kRegSz, {'a', 'b'}, false, SettingValue(std::string("ab"))},
      {plat::kRegSz, {0}, false, SettingValue(std::string())},
      {plat::kRegExpandSz, {'1', 0}, true, {}},
      {plat::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0}, true, {}},
      {plat::kRegBinary, {1, 0, 0, 0}, true, {}},
      // DWORDs of the wrong size: never read past their end, never half a number.
      {plat::kRegDword, {1, 0}, true, {}},
      {plat::kRegDword, {1, 0, 0, 0, 0, 0, 0, 0}, true, {}},
      {plat::kRegDword, {}, true, {}},
  };
  for (auto& r : rows) {
    plat::null::Reset();
    PutRaw("Mark", r.type, r.data);
    SettingValue v = ReadSetting("Mark");
    EXPECT_EQ(v.IsMissing(), r.missing) << "type " << r.type << " size " << r.data.size();
    if (!r.missing) {
      EXPECT_EQ(v, r.expect) << "type " << r.type;
    }
  }
}

TEST(SettingsStore, TextWithoutTerminatorGetsOneAndReadsBackWithout) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  WriteSetting(SettingsRoot, SettingsKey, "Name", SettingValue(std::string("hello")), plat::kRegSz);
  const plat::RegValue& raw = World().hive.hive.Find("HKEY_CURRENT_USER\\Software\\Zorvane")->values.at("Name");
  EXPECT_EQ(raw.type, plat::kRegSz);
  EXPECT_EQ(raw.data.back(), 0);
  EXPECT_EQ(ReadSetting(SettingsRoot, SettingsKey, "Name"), std::string_view("hello"));
}

TEST(SettingsStore, OtherWriteTypesWriteNothing) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  plat::HKey key = 0;
  plat::RegOpenKeyExA(SettingsRoot, SettingsKey, 0, SettingsAccess, &key);
  EXPECT_EQ(SetOpenKeyValue(key, "Mark", plat::kRegQword, SettingValue(1)), 0);
  plat::RegCloseKey(key);
  EXPECT_TRUE(ReadSetting("Mark").IsMissing());
}

TEST(SettingsStore, QueryReportsTheStatusOfItsReads) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  plat::HKey key = 0;
  plat::RegOpenKeyExA(SettingsRoot, SettingsKey, 0, SettingsAccess, &key);
  SettingValue v;
  EXPECT_EQ(QueryOpenKeyValue(key, "Nope", v), plat::kErrorFileNotFound);
  EXPECT_TRUE(v.IsMissing());
  PutRaw("Q", plat::kRegQword, {1, 0, 0, 0, 0, 0, 0, 0});
  EXPECT_EQ(QueryOpenKeyValue(key, "Q", v), -1);
  plat::RegCloseKey(key);
  EXPECT_EQ(QueryOpenKeyValue(0, "Format", v), plat::kErrorInvalidHandle);
}

TEST(SettingsStore, CreatingTheKeyTwiceKeepsItsValues) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  WriteSetting("Mark", SettingValue(1));
  CreateSettingsKey(SettingsRoot, SettingsKey);
  EXPECT_EQ(ReadSetting("Mark"), 1);
}

TEST(SettingValueCompare, MissingNumbersAndTexts) {
  struct Row {
    SettingValue v;
    long n;
    bool equal;
  } rows[] = {
      {SettingValue(), 0, true},
      {SettingValue(), 1, false},
      {SettingValue(1), 1, true},
      {SettingValue(0), 1, false},
      {SettingValue(-7), -7, true},
      {SettingValue(std::string("1")), 1, true},
      {SettingValue(std::string(" 1 ")), 1, true},
      {SettingValue(std::string("1x")), 1, false},
      {SettingValue(std::string("")), 0, false},
      {SettingValue(std::string("abc")), 0, false},
  };
  for (auto& r : rows) EXPECT_EQ(r.v == r.n, r.equal) << r.v.ToText() << " vs " << r.n;

  EXPECT_TRUE(SettingValue() == std::string_view(""));
  EXPECT_TRUE(SettingValue(std::string()) == std::string_view(""));
  EXPECT_FALSE(SettingValue(0) == std::string_view(""));
  EXPECT_TRUE(SettingValue().IsMissingOrEmpty());
  EXPECT_TRUE(SettingValue(std::string()).IsMissingOrEmpty());
  EXPECT_FALSE(SettingValue(0).IsMissingOrEmpty());
}

}  // namespace
