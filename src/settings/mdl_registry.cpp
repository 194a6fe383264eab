#include "settings/mdl_registry.h"

#include <cstring>
#include <vector>

SettingValue ReadSetting(plat::HKey root, const std::string& keyPath, const std::string& valueName) {
  SettingValue result;
  plat::HKey key = 0;
  plat::RegOpenKeyExA(root, keyPath.c_str(), 0, SettingsAccess, &key);
  QueryOpenKeyValue(key, valueName, result);
  plat::RegCloseKey(key);
  return result;
}

long QueryOpenKeyValue(plat::HKey key, const std::string& valueName, SettingValue& value) {
  std::uint32_t type = 0, size = 0;
  long status = plat::RegQueryValueExA(key, valueName.c_str(), nullptr, &type, nullptr, &size);
  if (status != plat::kErrorSuccess) return status;

  if (type == plat::kRegSz) {
    std::vector<std::uint8_t> buffer(size, 0);
    status = plat::RegQueryValueExA(key, valueName.c_str(), nullptr, &type,
                                    buffer.empty() ? nullptr : buffer.data(), &size);
    if (status != plat::kErrorSuccess || type != plat::kRegSz) {
      value = SettingValue();
      return status;
    }
    // The reported size counts the terminating zero; it is not part of the text.
    std::string text(buffer.begin(), buffer.begin() + std::min<size_t>(size, buffer.size()));
    if (auto nul = text.find('\0'); nul != std::string::npos) text.resize(nul);
    value = SettingValue(std::move(text));
    return status;
  }

  if (type == plat::kRegDword) {
    // A DWORD of any other size is not a number we can trust, and must not be read past its end.
    if (size != sizeof(std::int32_t)) return -1;
    std::int32_t number = 0;
    std::uint8_t bytes[sizeof number] = {};
    status = plat::RegQueryValueExA(key, valueName.c_str(), nullptr, &type, bytes, &size);
    if (status == plat::kErrorSuccess && type == plat::kRegDword && size == sizeof number) {
      std::memcpy(&number, bytes, sizeof number);
      value = SettingValue(number);
    }
    return status;
  }

  return -1;
}

void WriteSetting(plat::HKey root, const std::string& keyPath, const std::string& valueName,
                  const SettingValue& value, std::uint32_t type) {
  // Without the key nothing is stored. Only the store can tell why (a removed settings file, a
  // full disk), so saying so is left to it.
  plat::HKey key = 0;
  plat::RegOpenKeyExA(root, keyPath.c_str(), 0, SettingsAccess, &key);
  SetOpenKeyValue(key, valueName, type, value);
  plat::RegCloseKey(key);
}

long SetOpenKeyValue(plat::HKey key, const std::string& valueName, std::uint32_t type,
                     const SettingValue& value) {
  if (type == plat::kRegDword) {
    std::int32_t number = value.ToNumber();
    std::uint8_t bytes[sizeof number];
    std::memcpy(bytes, &number, sizeof number);
    return plat::RegSetValueExA(key, valueName.c_str(), 0, plat::kRegDword, bytes, sizeof bytes);
  }
  if (type == plat::kRegSz) {
    std::string text = value.ToText();
    return plat::RegSetValueExA(key, valueName.c_str(), 0, plat::kRegSz,
                                reinterpret_cast<const std::uint8_t*>(text.data()),
                                static_cast<std::uint32_t>(text.size()));
  }
  return 0;
}

void CreateSettingsKey(plat::HKey root, const std::string& keyPath) {
  plat::HKey key = 0;
  std::uint32_t disposition = 0;
  plat::RegCreateKeyExA(root, keyPath.c_str(), 0, nullptr, 0, SettingsAccess, nullptr, &key,
                        &disposition);
  plat::RegCloseKey(key);
}
