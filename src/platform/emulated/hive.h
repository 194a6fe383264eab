// An in-memory registry hive and the Reg* call semantics over it, shared by every backend that
// has no real registry. A HiveStore loads and saves the whole hive for each call, so nothing is
// cached between calls (another process may have changed the file meanwhile).
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace plat {

struct RegValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  bool operator==(const RegValue&) const = default;
};

// Key paths are full ("HKEY_CURRENT_USER\Software\Zorvane"); names compare without case, as the
// registry does, but keep the spelling they were created with.
struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const;
};

struct HiveKey {
  std::string path;                               // spelling as first created
  std::map<std::string, RegValue, CaseLess> values;  // "" is the default value (@)
  std::vector<std::string> valueOrder;            // names in first-written order, for stable files
};

struct Hive {
  std::map<std::string, HiveKey, CaseLess> keys;  // by full path
  bool operator==(const Hive& o) const;
  HiveKey* Find(const std::string& path);
  HiveKey& Create(const std::string& path);
  void Set(HiveKey& key, const std::string& name, RegValue v);
  // True when every key and value of one is in the other, whatever their order and spelling.
  bool SameValues(const Hive& o) const;
};

using HiveValueIt = std::map<std::string, RegValue, CaseLess>::const_iterator;
// Values in the order they go to a file: valueOrder first, then anything it does not list, so a
// hive assembled by hand still writes (and compares) every value exactly once.
std::vector<HiveValueIt> OrderedValues(const HiveKey& key);
const std::string& KeyPathOf(const std::pair<const std::string, HiveKey>& entry);

class HiveStore {
 public:
  virtual ~HiveStore() = default;
  // false when the store exists but cannot be read; an absent store loads as an empty hive.
  virtual bool Load(Hive& out) = 0;
  // Writes the whole hive; false when it could not be stored.
  virtual bool Save(const Hive& hive) = 0;
  // Keeps other writers, other processes included, out from before a Load to after the Save that
  // follows it, so two changes made at once both survive. Calls may nest.
  virtual void BeginUpdate() {}
  virtual void EndUpdate() {}
  // Stores changes a save had to keep in memory, when that can be done now without waiting;
  // called between passes of the event loop. Cheap when there are none.
  virtual void StorePending() {}
  // The program is ending: stores what StorePending could not yet, waiting for other writers
  // at most a bounded time, and says on stderr what is lost when they still hold it.
  virtual void StoreBeforeExit() {}
};

// The backend supplies the store the Reg* calls work on.
HiveStore& ActiveHiveStore();

// The .reg export syntax ("Windows Registry Editor Version 5.00", or the older "REGEDIT4"), as
// UTF-8 with or without a byte order mark or as UTF-16LE with one. ParseRegFile returns nothing
// for a file it cannot fully understand, so a caller never mistakes half a file for the whole.
std::optional<Hive> ParseRegFile(const std::string& bytes, std::string* error = nullptr);
// A fresh file holding the hive: UTF-8, LF line ends.
std::string FormatRegFile(const Hive& hive);
// The file `bytes` changed only where `hive` differs from what it holds: changed values are
// rewritten on their own line, new ones go after the last value of their key, new keys at the
// end; comments, blank lines, spelling, encoding and line ends stay as they were. Nothing when
// `bytes` does not parse.
std::optional<std::string> UpdateRegFile(const std::string& bytes, const Hive& hive);

// "HKEY_CURRENT_USER" for the predefined roots the program uses; empty for anything else.
std::string RootName(std::uint64_t root);

}  // namespace plat
