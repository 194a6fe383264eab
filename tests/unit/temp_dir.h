// A fixture with a fresh folder under the system's temporary folder, removed after the test
// (folders made writable first: some tests take their write permission away).
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zorvane-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
  }
  void TearDown() override {
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(dir_, ec))
      if (e.is_directory()) fs::permissions(e.path(), fs::perms::owner_all, ec);
    fs::remove_all(dir_, ec);
  }
  std::filesystem::path dir_;
};
