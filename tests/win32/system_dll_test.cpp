// Run-time system DLLs come from the system folder, never from the program's own: a DLL planted
// beside the test program (zvplant.dll, built with it) is found by the ordinary search only.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/win32/win32_system_dll.h"

namespace {

std::wstring FolderOf(HMODULE m) {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(m, path, MAX_PATH);
  std::wstring s(path, n);
  return s.substr(0, s.find_last_of(L"\\/"));
}

TEST(Win32SystemDll, APlantedDllBesideTheProgramIsNeverLoaded) {
  HMODULE planted = LoadLibraryW(L"zvplant.dll");
  ASSERT_NE(planted, nullptr) << "the plant is not where the ordinary search looks";
  FreeLibrary(planted);
  EXPECT_EQ(plat::win32::SystemLibrary(L"zvplant.dll"), nullptr);
  EXPECT_EQ(plat::win32::SystemExport<void (*)()>(L"zvplant.dll", "Planted"), nullptr);
}

TEST(Win32SystemDll, SystemDllsComeFromTheSystemFolder) {
  wchar_t system[MAX_PATH];
  const UINT n = GetSystemDirectoryW(system, MAX_PATH);
  for (const wchar_t* dll : {L"user32.dll", L"shcore.dll", L"version.dll"}) {
    HMODULE m = plat::win32::SystemLibrary(dll);
    ASSERT_NE(m, nullptr) << dll;
    EXPECT_EQ(_wcsicmp(FolderOf(m).c_str(), std::wstring(system, n).c_str()), 0) << dll;
  }
}

}  // namespace
