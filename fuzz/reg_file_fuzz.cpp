// Fuzz target for the settings-file reader and writer: parse the input, read every value, change
// one value in place and check that the file still reads back with every other value intact.
// Built with libFuzzer by `make fuzz`; replay_main.cpp runs the committed corpus as a test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/emulated/hive.h"
#include "platform/registry.h"

namespace {

void Require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "reg_file_fuzz: %s\n", what);
  std::abort();
}

plat::RegValue Dword(std::uint32_t n) {
  return {plat::kRegDword,
          {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
           static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)}};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::optional<plat::Hive> hive = plat::ParseRegFile(bytes);
  if (!hive) {
    Require(!plat::UpdateRegFile(bytes, plat::Hive()), "an unreadable file was updated");
    return 0;
  }
  // Read every value the way the registry calls hand it out.
  std::size_t total = 0;
  for (const auto& [path, key] : hive->keys) {
    for (plat::HiveValueIt it : plat::OrderedValues(key)) total += it->second.data.size();
  }

  Require(plat::UpdateRegFile(bytes, *hive) == bytes, "a write without changes changed the file");
  std::optional<plat::Hive> fresh = plat::ParseRegFile(plat::FormatRegFile(*hive));
  Require(fresh && fresh->SameValues(*hive), "a fresh file does not read back");

  // Change one value: an existing one chosen by the input, or "Format" in our own key.
  plat::Hive changed = *hive;
  std::string keyPath = "HKEY_CURRENT_USER\\Software\\Zorvane", name = "Format";
  if (!changed.keys.empty() && size % 3 != 0) {
    auto key = changed.keys.begin();
    std::advance(key, static_cast<long>(size % changed.keys.size()));
    keyPath = key->first;
    if (!key->second.values.empty()) {
      auto value = key->second.values.begin();
      std::advance(value, static_cast<long>(total % key->second.values.size()));
      name = value->first;
    }
  }
  changed.Set(changed.Create(keyPath), name, Dword(static_cast<std::uint32_t>(size + total)));
  std::optional<std::string> written = plat::UpdateRegFile(bytes, changed);
  Require(written.has_value(), "a readable file could not be updated");
  std::optional<plat::Hive> again = plat::ParseRegFile(*written);
  Require(again.has_value(), "the updated file does not parse");
  Require(again->SameValues(changed), "a value was lost or changed by the update");
  return 0;
}
