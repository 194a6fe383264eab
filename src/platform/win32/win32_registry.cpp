// The registry: the advapi32 calls themselves.
#include <windows.h>

#include "platform/registry.h"

namespace plat {

long RegOpenKeyExA(HKey root, const char* sub, std::uint32_t options, std::uint32_t access, HKey* out) {
  HKEY key = nullptr;
  LONG r = ::RegOpenKeyExA(reinterpret_cast<HKEY>(root), sub, options, access, &key);
  if (out) *out = reinterpret_cast<HKey>(key);
  return r;
}

long RegQueryValueExA(HKey key, const char* name, std::uint32_t* reserved, std::uint32_t* type,
                      std::uint8_t* data, std::uint32_t* size) {
  DWORD t = 0, s = size ? *size : 0;
  LONG r = ::RegQueryValueExA(reinterpret_cast<HKEY>(key), name, reinterpret_cast<LPDWORD>(reserved),
                              type ? &t : nullptr, data, size ? &s : nullptr);
  if (type) *type = t;
  if (size) *size = s;
  return r;
}

long RegSetValueExA(HKey key, const char* name, std::uint32_t reserved, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t size) {
  return ::RegSetValueExA(reinterpret_cast<HKEY>(key), name, reserved, type, data, size);
}

long RegCreateKeyExA(HKey root, const char* sub, std::uint32_t reserved, char* cls,
                     std::uint32_t options, std::uint32_t access, void* security, HKey* out,
                     std::uint32_t* disposition) {
  HKEY key = nullptr;
  DWORD d = 0;
  LONG r = ::RegCreateKeyExA(reinterpret_cast<HKEY>(root), sub, reserved, cls, options, access,
                             static_cast<LPSECURITY_ATTRIBUTES>(security), &key, &d);
  if (out) *out = reinterpret_cast<HKey>(key);
  if (disposition) *disposition = d;
  return r;
}

long RegCloseKey(HKey key) { return ::RegCloseKey(reinterpret_cast<HKEY>(key)); }

void StoreKeptChanges() {}

}  // namespace plat
