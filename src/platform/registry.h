// Registry access with the Win32 registry call shapes. On Windows these forward to advapi32;
// elsewhere they work on a hive kept by the backend (a .reg text file on Linux, memory in tests).
// Status codes and type numbers are Win32's.
#pragma once
#include <cstdint>

namespace plat {

using HKey = std::uintptr_t;

inline constexpr HKey kHKeyCurrentUser = 0x80000001u;

inline constexpr std::uint32_t kRegNone = 0;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegMultiSz = 7;
inline constexpr std::uint32_t kRegQword = 11;

inline constexpr long kErrorSuccess = 0;
inline constexpr long kErrorFileNotFound = 2;
inline constexpr long kErrorAccessDenied = 5;
inline constexpr long kErrorInvalidHandle = 6;
inline constexpr long kErrorInvalidParameter = 87;
inline constexpr long kErrorMoreData = 234;

long RegOpenKeyExA(HKey root, const char* subKey, std::uint32_t options, std::uint32_t access,
                   HKey* result);
// type, data and size may each be null, as in Win32; *size is in bytes.
long RegQueryValueExA(HKey key, const char* valueName, std::uint32_t* reserved, std::uint32_t* type,
                      std::uint8_t* data, std::uint32_t* size);
long RegSetValueExA(HKey key, const char* valueName, std::uint32_t reserved, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t size);
long RegCreateKeyExA(HKey root, const char* subKey, std::uint32_t reserved, char* className,
                     std::uint32_t options, std::uint32_t access, void* security, HKey* result,
                     std::uint32_t* disposition);
long RegCloseKey(HKey key);

// Stores the settings changes kept in memory while another process held the settings (the .reg
// file's lock on Linux), if that is possible now; never waits for it. The program's loops call it
// on every pass. Windows' registry keeps nothing back.
void StoreKeptChanges();

}  // namespace plat
