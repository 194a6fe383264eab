// The Reg* calls for backends without a registry, over the hive of ActiveHiveStore(). Every call
// loads the hive afresh and every change saves it whole, so two running clocks see each other's
// settings the way they would in the real registry.
#include <cstring>
#include <map>
#include <optional>
#include <string>

#include "platform/emulated/hive.h"
#include "platform/registry.h"

namespace plat {
namespace {

constexpr long kRegCreatedNewKey = 1;
constexpr long kRegOpenedExistingKey = 2;
constexpr HKey kFirstHandle = 0x100;
constexpr HKey kHandleStep = 4;  // Win32 handles are multiples of 4; keep ours looking alike

// Open handles, each with the full path of the key it names.
std::map<HKey, std::string> g_handles;  // open handle -> full key path
HKey g_nextHandle = kFirstHandle;

bool IsPredefinedRoot(HKey key) { return key >= 0x80000000u && key <= 0x80000005u; }

bool SameName(const std::string& a, const std::string& b) {
  CaseLess less;
  return !less(a, b) && !less(b, a);
}

// Full path behind a predefined root or an open handle; nothing for anything else.
std::optional<std::string> PathOfKey(HKey key) {
  if (IsPredefinedRoot(key)) {
    std::string name = RootName(key);
    if (name.empty()) return std::nullopt;
    return name;
  }
  auto it = g_handles.find(key);
  if (it == g_handles.end()) return std::nullopt;
  return it->second;
}

// base + "\" + subKey. One leading backslash is tolerated; an empty component ("a\\b", "a\")
// names no key and gives nothing.
std::optional<std::string> JoinPath(const std::string& base, const char* subKey) {
  std::string sub = subKey ? subKey : "";
  if (!sub.empty() && sub.front() == '\\') sub.erase(0, 1);
  if (sub.empty()) return base;
  if (sub.front() == '\\' || sub.back() == '\\' || sub.find("\\\\") != std::string::npos) {
    return std::nullopt;
  }
  return base + "\\" + sub;
}

// A root always exists, and so does every key above a stored one: a file written by us lists
// "HKEY_CURRENT_USER\Software\Zorvane" without its parents.
bool KeyExists(const Hive& hive, const std::string& path) {
  if (path.find('\\') == std::string::npos) return true;
  if (hive.keys.count(path)) return true;
  const std::string prefix = path + "\\";
  for (const auto& entry : hive.keys) {
    if (entry.first.size() > prefix.size() && SameName(entry.first.substr(0, prefix.size()), prefix)) {
      return true;
    }
  }
  return false;
}

// The stored spelling of a key when it has one, so handles carry the name as created.
std::string StoredSpelling(Hive& hive, const std::string& path) {
  HiveKey* key = hive.Find(path);
  return key && !key->path.empty() ? key->path : path;
}

// A store that cannot be read counts as having no keys, but as one that may hold any key: what
// it held cannot be known, so a key is opened and a write starts a fresh store (the old one is
// kept aside by the store).
Hive LoadHive(bool* readable = nullptr) {
  Hive hive;
  bool ok = ActiveHiveStore().Load(hive);
  if (!ok) hive = Hive();
  if (readable) *readable = ok;
  return hive;
}

// Holds other writers off from the load to the save of one change.
struct UpdateGuard {
  UpdateGuard() { ActiveHiveStore().BeginUpdate(); }
  ~UpdateGuard() { ActiveHiveStore().EndUpdate(); }
  UpdateGuard(const UpdateGuard&) = delete;
  UpdateGuard& operator=(const UpdateGuard&) = delete;
};

HKey NewHandle(const std::string& path) {
  while (g_nextHandle == 0 || IsPredefinedRoot(g_nextHandle) || g_handles.count(g_nextHandle)) {
    g_nextHandle += kHandleStep;
  }
  HKey handle = g_nextHandle;
  g_nextHandle += kHandleStep;
  g_handles.emplace(handle, path);
  return handle;
}

}  // namespace

long RegOpenKeyExA(HKey root, const char* subKey, std::uint32_t /*options*/,
                   std::uint32_t /*access*/, HKey* result) {
  if (!result) return kErrorInvalidParameter;
  *result = 0;
  std::optional<std::string> base = PathOfKey(root);
  if (!base) return kErrorInvalidHandle;
  std::optional<std::string> path = JoinPath(*base, subKey);
  if (!path) return kErrorInvalidParameter;
  bool readable = true;
  Hive hive = LoadHive(&readable);
  if (readable && !KeyExists(hive, *path)) return kErrorFileNotFound;
  *result = NewHandle(StoredSpelling(hive, *path));
  return kErrorSuccess;
}

long RegCreateKeyExA(HKey root, const char* subKey, std::uint32_t /*reserved*/,
                     char* /*className*/, std::uint32_t /*options*/, std::uint32_t /*access*/,
                     void* /*security*/, HKey* result, std::uint32_t* disposition) {
  if (!result) return kErrorInvalidParameter;
  *result = 0;
  std::optional<std::string> base = PathOfKey(root);
  if (!base) return kErrorInvalidHandle;
  std::optional<std::string> path = JoinPath(*base, subKey);
  if (!path) return kErrorInvalidParameter;
  // An unreadable store starts over empty; the store keeps the old file before replacing it.
  UpdateGuard guard;
  Hive hive = LoadHive();
  if (KeyExists(hive, *path)) {
    if (disposition) *disposition = kRegOpenedExistingKey;
    *result = NewHandle(StoredSpelling(hive, *path));
    return kErrorSuccess;
  }
  hive.Create(*path);
  if (!ActiveHiveStore().Save(hive)) return kErrorAccessDenied;
  if (disposition) *disposition = kRegCreatedNewKey;
  *result = NewHandle(*path);
  return kErrorSuccess;
}

long RegQueryValueExA(HKey key, const char* valueName, std::uint32_t* reserved,
                      std::uint32_t* type, std::uint8_t* data, std::uint32_t* size) {
  std::optional<std::string> path = PathOfKey(key);
  if (!path) return kErrorInvalidHandle;
  if (reserved || (data && !size)) return kErrorInvalidParameter;
  Hive hive = LoadHive();
  HiveKey* stored = hive.Find(*path);
  // Windows answers KEY_DELETED for an open handle whose key has gone; not-found serves callers
  // just as well.
  if (!stored) return kErrorFileNotFound;
  auto it = stored->values.find(valueName ? valueName : "");
  if (it == stored->values.end()) return kErrorFileNotFound;
  const RegValue& value = it->second;
  const auto byteCount = static_cast<std::uint32_t>(value.data.size());
  if (type) *type = value.type;
  if (!data) {
    if (size) *size = byteCount;
    return kErrorSuccess;
  }
  if (*size < byteCount) {
    *size = byteCount;
    return kErrorMoreData;
  }
  if (byteCount) std::memcpy(data, value.data.data(), byteCount);
  *size = byteCount;
  return kErrorSuccess;
}

long RegSetValueExA(HKey key, const char* valueName, std::uint32_t /*reserved*/, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t size) {
  std::optional<std::string> path = PathOfKey(key);
  if (!path) return kErrorInvalidHandle;
  if (!data && size) return kErrorInvalidParameter;
  UpdateGuard guard;
  bool readable = true;
  Hive hive = LoadHive(&readable);
  if (readable && !KeyExists(hive, *path)) return kErrorFileNotFound;
  RegValue value{type, {}};
  if (size) value.data.assign(data, data + size);
  // The A-functions store strings with their terminator even when the caller's size left it out.
  if ((type == kRegSz || type == kRegExpandSz) && (value.data.empty() || value.data.back() != 0)) {
    value.data.push_back(0);
  }
  hive.Set(hive.Create(*path), valueName ? valueName : "", std::move(value));
  if (!ActiveHiveStore().Save(hive)) return kErrorAccessDenied;
  return kErrorSuccess;
}

long RegCloseKey(HKey key) {
  if (IsPredefinedRoot(key)) return kErrorSuccess;
  return g_handles.erase(key) ? kErrorSuccess : kErrorInvalidHandle;
}

void StoreKeptChanges() { ActiveHiveStore().StorePending(); }

}  // namespace plat
