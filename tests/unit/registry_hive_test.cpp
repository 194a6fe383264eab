// The Win32-shaped Reg* calls over an in-memory hive store.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/emulated/hive.h"
#include "platform/registry.h"
#include "test_hive_store.h"

namespace plat {
namespace {

using Bytes = std::vector<std::uint8_t>;

const std::string kZorvanePath = "HKEY_CURRENT_USER\\Software\\Zorvane";
constexpr std::uint32_t kCreatedNew = 1;
constexpr std::uint32_t kOpenedExisting = 2;

class RegistryHive : public ::testing::Test {
 protected:
  void SetUp() override { TestHiveStore() = MemoryHiveStore(); }

  void TearDown() override {
    for (HKey h : open_) RegCloseKey(h);
  }

  MemoryHiveStore& store() { return TestHiveStore(); }

  // Creates Software\Zorvane under HKCU and remembers the handle for closing.
  HKey CreateZorvane(std::uint32_t* disposition = nullptr) {
    HKey key = 0;
    EXPECT_EQ(RegCreateKeyExA(kHKeyCurrentUser, "Software\\Zorvane", 0, nullptr, 0, 0, nullptr,
                              &key, disposition),
              kErrorSuccess);
    return Track(key);
  }

  HKey Track(HKey key) {
    if (key) open_.push_back(key);
    return key;
  }

  long SetBytes(HKey key, const char* name, std::uint32_t type, const Bytes& data) {
    return RegSetValueExA(key, name, 0, type, data.data(), static_cast<std::uint32_t>(data.size()));
  }

  // The stored value, read the way callers do: size first, then data.
  long Get(HKey key, const char* name, std::uint32_t* type, Bytes* out) {
    std::uint32_t size = 0;
    long rc = RegQueryValueExA(key, name, nullptr, type, nullptr, &size);
    if (rc != kErrorSuccess) return rc;
    out->assign(size, 0xcc);
    return RegQueryValueExA(key, name, nullptr, type, out->data(), &size);
  }

  std::vector<HKey> open_;
};

Bytes DwordBytes(std::uint32_t n) {
  return {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
          static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
}

TEST_F(RegistryHive, OpeningAMissingKeyFailsAndCreatesNothing) {
  HKey key = 0x1234;
  EXPECT_EQ(RegOpenKeyExA(kHKeyCurrentUser, "Software\\Zorvane", 0, 0, &key), kErrorFileNotFound);
  EXPECT_EQ(key, 0u);
  EXPECT_EQ(store().saves, 0);
  EXPECT_TRUE(store().hive.keys.empty());
}

TEST_F(RegistryHive, CreateThenOpen) {
  std::uint32_t disposition = 0;
  HKey created = CreateZorvane(&disposition);
  ASSERT_NE(created, 0u);
  EXPECT_EQ(disposition, kCreatedNew);
  EXPECT_EQ(store().saves, 1);
  ASSERT_NE(store().hive.Find(kZorvanePath), nullptr);
  EXPECT_EQ(store().hive.Find(kZorvanePath)->path, kZorvanePath);

  HKey again = CreateZorvane(&disposition);
  EXPECT_EQ(disposition, kOpenedExisting);
  EXPECT_EQ(store().saves, 1);  // opening an existing key writes nothing
  EXPECT_NE(again, created);

  HKey opened = 0;
  ASSERT_EQ(RegOpenKeyExA(kHKeyCurrentUser, "software\\ZORVANE", 0, 0, &opened), kErrorSuccess);
  Track(opened);
  EXPECT_NE(opened, 0u);
  for (HKey h : {created, again, opened}) EXPECT_FALSE(h >= 0x80000000u && h <= 0x80000005u);
  EXPECT_EQ(store().saves, 1);
}

TEST_F(RegistryHive, ValueWrittenThroughOneHandleReadsThroughAnother) {
  HKey writer = CreateZorvane();
  ASSERT_EQ(SetBytes(writer, "Format", kRegDword, DwordBytes(24)), kErrorSuccess);

  HKey parent = 0, child = 0, rooted = 0;
  ASSERT_EQ(RegOpenKeyExA(kHKeyCurrentUser, "\\Software", 0, 0, &parent), kErrorSuccess);
  Track(parent);
  ASSERT_EQ(RegOpenKeyExA(parent, "Zorvane", 0, 0, &child), kErrorSuccess);
  Track(child);
  ASSERT_EQ(RegOpenKeyExA(child, nullptr, 0, 0, &rooted), kErrorSuccess);
  Track(rooted);
  for (HKey reader : {child, rooted}) {
    std::uint32_t type = 0;
    Bytes data;
    ASSERT_EQ(Get(reader, "FORMAT", &type, &data), kErrorSuccess);
    EXPECT_EQ(type, kRegDword);
    EXPECT_EQ(data, DwordBytes(24));
  }
  // Only the key itself was stored, not its parents.
  EXPECT_EQ(store().hive.keys.size(), 1u);
}

TEST_F(RegistryHive, QueryReportsTypeAndSizeBeforeData) {
  HKey key = CreateZorvane();
  const Bytes blob = {1, 2, 3, 4, 5, 6};
  ASSERT_EQ(SetBytes(key, "Blob", kRegBinary, blob), kErrorSuccess);

  std::uint32_t type = 0, size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, nullptr, &size), kErrorSuccess);
  EXPECT_EQ(type, kRegBinary);
  EXPECT_EQ(size, blob.size());
  type = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, nullptr, nullptr), kErrorSuccess);
  EXPECT_EQ(type, kRegBinary);

  Bytes buffer(size + 2, 0xcc);
  std::uint32_t capacity = static_cast<std::uint32_t>(buffer.size());
  EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, nullptr, buffer.data(), &capacity),
            kErrorSuccess);
  EXPECT_EQ(capacity, blob.size());
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 6), blob);
  EXPECT_EQ(buffer[6], 0xcc);

  EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, nullptr, buffer.data(), nullptr),
            kErrorInvalidParameter);
}

TEST_F(RegistryHive, SmallBufferGetsMoreDataAndIsLeftAlone) {
  HKey key = CreateZorvane();
  ASSERT_EQ(SetBytes(key, "Blob", kRegBinary, {9, 8, 7, 6, 5}), kErrorSuccess);
  for (std::uint32_t given : {0u, 1u, 4u}) {
    SCOPED_TRACE(given);
    Bytes buffer(8, 0xcc);
    std::uint32_t size = given;
    std::uint32_t type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "Blob", nullptr, &type, buffer.data(), &size), kErrorMoreData);
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(type, kRegBinary);
    EXPECT_EQ(buffer, Bytes(8, 0xcc));
  }
}

TEST_F(RegistryHive, StoredDataByTypeAndGivenBytes) {
  struct Case {
    const char* label;
    std::uint32_t type;
    Bytes given;
    Bytes stored;
  };
  const Case cases[] = {
      {"dword", kRegDword, DwordBytes(0x01020304), {4, 3, 2, 1}},
      {"string with terminator", kRegSz, {'h', 'i', 0}, {'h', 'i', 0}},
      {"string without terminator", kRegSz, {'h', 'i'}, {'h', 'i', 0}},
      {"empty string, no bytes", kRegSz, {}, {0}},
      {"expand string without terminator", kRegExpandSz, {'%', 'X', '%'}, {'%', 'X', '%', 0}},
      {"binary kept as given", kRegBinary, {'h', 'i'}, {'h', 'i'}},
      {"multi string kept as given", kRegMultiSz, {'a', 0, 'b'}, {'a', 0, 'b'}},
      {"empty binary", kRegBinary, {}, {}},
      {"short dword kept as given", kRegDword, {7, 0}, {7, 0}},
  };
  HKey key = CreateZorvane();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    ASSERT_EQ(SetBytes(key, c.label, c.type, c.given), kErrorSuccess);
    std::uint32_t type = 0;
    Bytes read;
    ASSERT_EQ(Get(key, c.label, &type, &read), kErrorSuccess);
    EXPECT_EQ(type, c.type);
    EXPECT_EQ(read, c.stored);
  }
}

TEST_F(RegistryHive, NamesMatchWithoutCase) {
  HKey key = CreateZorvane();
  ASSERT_EQ(SetBytes(key, "Topmost", kRegDword, DwordBytes(1)), kErrorSuccess);
  ASSERT_EQ(SetBytes(key, "TOPMOST", kRegDword, DwordBytes(0)), kErrorSuccess);
  const HiveKey* stored = store().hive.Find(kZorvanePath);
  ASSERT_NE(stored, nullptr);
  ASSERT_EQ(stored->values.size(), 1u);
  EXPECT_EQ(stored->values.begin()->first, "Topmost");
  Bytes data;
  std::uint32_t type = 0;
  ASSERT_EQ(Get(key, "topMOST", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, DwordBytes(0));

  std::uint32_t disposition = 0;
  HKey other = 0;
  ASSERT_EQ(RegCreateKeyExA(kHKeyCurrentUser, "SOFTWARE\\zorvane", 0, nullptr, 0, 0, nullptr,
                            &other, &disposition),
            kErrorSuccess);
  Track(other);
  EXPECT_EQ(disposition, kOpenedExisting);
  EXPECT_EQ(store().hive.keys.size(), 1u);
}

TEST_F(RegistryHive, MissingValuesAndDefaultValue) {
  HKey key = CreateZorvane();
  std::uint32_t size = 99;
  EXPECT_EQ(RegQueryValueExA(key, "Absent", nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
  ASSERT_EQ(SetBytes(key, nullptr, kRegSz, {'d'}), kErrorSuccess);
  Bytes data;
  std::uint32_t type = 0;
  ASSERT_EQ(Get(key, "", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, (Bytes{'d', 0}));
}

TEST_F(RegistryHive, BadHandles) {
  HKey key = CreateZorvane();
  std::uint32_t size = 0;
  const Bytes one = DwordBytes(1);
  for (HKey bad : {HKey{0}, HKey{0x7777}}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(RegCloseKey(bad), kErrorInvalidHandle);
    EXPECT_EQ(RegQueryValueExA(bad, "A", nullptr, nullptr, nullptr, &size), kErrorInvalidHandle);
    EXPECT_EQ(SetBytes(bad, "A", kRegDword, one), kErrorInvalidHandle);
    HKey out = 5;
    EXPECT_EQ(RegOpenKeyExA(bad, "X", 0, 0, &out), kErrorInvalidHandle);
    EXPECT_EQ(out, 0u);
  }
  EXPECT_EQ(RegCloseKey(kHKeyCurrentUser), kErrorSuccess);

  HKey extra = 0;
  ASSERT_EQ(RegOpenKeyExA(key, "", 0, 0, &extra), kErrorSuccess);
  EXPECT_EQ(RegCloseKey(extra), kErrorSuccess);
  EXPECT_EQ(RegCloseKey(extra), kErrorInvalidHandle);
  EXPECT_EQ(SetBytes(extra, "A", kRegDword, one), kErrorInvalidHandle);
}

TEST_F(RegistryHive, KeyDeletedBehindAnOpenHandle) {
  HKey key = CreateZorvane();
  ASSERT_EQ(SetBytes(key, "A", kRegDword, DwordBytes(1)), kErrorSuccess);
  store().hive = Hive();
  const int saves = store().saves;
  std::uint32_t size = 0;
  EXPECT_EQ(RegQueryValueExA(key, "A", nullptr, nullptr, nullptr, &size), kErrorFileNotFound);
  EXPECT_EQ(SetBytes(key, "A", kRegDword, DwordBytes(2)), kErrorFileNotFound);
  EXPECT_EQ(store().saves, saves);
  EXPECT_TRUE(store().hive.keys.empty());
}

TEST_F(RegistryHive, EveryCallReadsTheStoreAfresh) {
  HKey key = CreateZorvane();
  ASSERT_EQ(SetBytes(key, "A", kRegDword, DwordBytes(1)), kErrorSuccess);
  // Another process rewrites the file between our calls.
  store().hive.Set(*store().hive.Find(kZorvanePath), "A", {kRegDword, DwordBytes(7)});
  store().hive.Set(*store().hive.Find(kZorvanePath), "B", {kRegDword, DwordBytes(8)});
  Bytes data;
  std::uint32_t type = 0;
  ASSERT_EQ(Get(key, "A", &type, &data), kErrorSuccess);
  EXPECT_EQ(data, DwordBytes(7));
  ASSERT_EQ(SetBytes(key, "C", kRegDword, DwordBytes(9)), kErrorSuccess);
  const HiveKey* stored = store().hive.Find(kZorvanePath);
  ASSERT_NE(stored, nullptr);
  EXPECT_EQ(stored->valueOrder, (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(RegistryHive, FailingSaveIsAccessDenied) {
  store().failSave = true;
  HKey key = 0x55;
  std::uint32_t disposition = 0;
  EXPECT_EQ(RegCreateKeyExA(kHKeyCurrentUser, "Software\\Zorvane", 0, nullptr, 0, 0, nullptr, &key,
                            &disposition),
            kErrorAccessDenied);
  EXPECT_EQ(key, 0u);
  EXPECT_TRUE(store().hive.keys.empty());

  store().failSave = false;
  key = CreateZorvane();
  store().failSave = true;
  EXPECT_EQ(SetBytes(key, "A", kRegDword, DwordBytes(1)), kErrorAccessDenied);
  EXPECT_TRUE(store().hive.Find(kZorvanePath)->values.empty());
}

// What an unreadable store held cannot be known: the key opens, reads find nothing, and the
// first change starts a fresh store holding the key and that value.
TEST_F(RegistryHive, UnreadableStoreOpensAndAWriteStartsOver) {
  Hive old;
  old.Set(old.Create(kZorvanePath), "A", {kRegDword, DwordBytes(1)});
  old.Create("HKEY_CURRENT_USER\\Software\\Other");
  store().hive = old;
  store().failLoad = true;

  HKey key = 0;
  EXPECT_EQ(RegOpenKeyExA(kHKeyCurrentUser, "Software\\Zorvane", 0, 0, &key), kErrorSuccess);
  ASSERT_NE(Track(key), 0u);
  std::uint32_t type = 0;
  Bytes data;
  EXPECT_EQ(Get(key, "A", &type, &data), kErrorFileNotFound);
  EXPECT_EQ(store().saves, 0);
  EXPECT_GT(store().loads, 0);

  EXPECT_EQ(SetBytes(key, "Format", kRegDword, DwordBytes(1)), kErrorSuccess);
  EXPECT_EQ(store().saves, 1);
  Hive fresh;
  fresh.Set(fresh.Create(kZorvanePath), "Format", {kRegDword, DwordBytes(1)});
  EXPECT_TRUE(store().hive == fresh);

  std::uint32_t disposition = 0;
  store().failLoad = true;
  ASSERT_NE(CreateZorvane(&disposition), 0u);
  EXPECT_EQ(disposition, kCreatedNew);
  EXPECT_EQ(store().saves, 2);
  ASSERT_EQ(store().hive.keys.size(), 1u);
  EXPECT_TRUE(store().hive.Find(kZorvanePath)->values.empty());
}

// Every change loads and saves inside one update, so other writers cannot slip in between.
TEST_F(RegistryHive, ChangesLoadAndSaveInsideOneUpdate) {
  HKey key = CreateZorvane();
  EXPECT_EQ(SetBytes(key, "A", kRegDword, DwordBytes(1)), kErrorSuccess);
  EXPECT_EQ(SetBytes(key, "B", kRegDword, DwordBytes(2)), kErrorSuccess);
  EXPECT_EQ(store().saves, 3);
  EXPECT_EQ(store().updates, 3);
  EXPECT_EQ(store().savesOutsideUpdate, 0);
  EXPECT_EQ(store().loadsInsideUpdate, 3);
  EXPECT_EQ(store().updateDepth, 0);
}

TEST_F(RegistryHive, BadSubKeysAndNullResult) {
  HKey key = 0;
  for (const char* sub : {"Software\\\\Zorvane", "Software\\", "\\\\Software"}) {
    SCOPED_TRACE(sub);
    EXPECT_EQ(RegCreateKeyExA(kHKeyCurrentUser, sub, 0, nullptr, 0, 0, nullptr, &key, nullptr),
              kErrorInvalidParameter);
    EXPECT_EQ(key, 0u);
  }
  EXPECT_EQ(RegOpenKeyExA(kHKeyCurrentUser, "Software", 0, 0, nullptr), kErrorInvalidParameter);
  EXPECT_EQ(store().saves, 0);
}

}  // namespace
}  // namespace plat
