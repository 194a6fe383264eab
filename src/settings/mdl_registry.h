// The settings store: each operation opens HKEY_CURRENT_USER\Software\Zorvane, does one thing and
// closes it again. Nothing is cached and no operation reports failure to its caller.
#pragma once
#include <cstdint>
#include <string>

#include "platform/registry.h"
#include "shared/setting_value.h"

inline constexpr plat::HKey SettingsRoot = plat::kHKeyCurrentUser;
inline constexpr const char* SettingsKey = "Software\\Zorvane";
// KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY |
// KEY_CREATE_LINK: reading asks for write access too.
inline constexpr std::uint32_t SettingsAccess = 0x3F;

SettingValue ReadSetting(plat::HKey root, const std::string& keyPath, const std::string& valueName);
void WriteSetting(plat::HKey root, const std::string& keyPath, const std::string& valueName,
                  const SettingValue& value, std::uint32_t type);
void CreateSettingsKey(plat::HKey root, const std::string& keyPath);

// Steps on an already open key; they return the registry status (0 = success, -1 for a type the
// store does not read).
long QueryOpenKeyValue(plat::HKey key, const std::string& valueName, SettingValue& value);
long SetOpenKeyValue(plat::HKey key, const std::string& valueName, std::uint32_t type,
                     const SettingValue& value);

// The program's own shorthand: always the current user's Software\Zorvane, as REG_DWORD.
inline SettingValue ReadSetting(const std::string& valueName) {
  return ReadSetting(SettingsRoot, SettingsKey, valueName);
}
inline void WriteSetting(const std::string& valueName, const SettingValue& value) {
  WriteSetting(SettingsRoot, SettingsKey, valueName, value, plat::kRegDword);
}
