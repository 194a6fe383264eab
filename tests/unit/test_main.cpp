#include <gtest/gtest.h>

#include "platform/null/null_backend.h"
#include "shared/main_mod.h"

// Every test starts from a fresh in-memory platform and the program-wide settings as a new
// process has them.
class ResetProgram : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override {
    plat::null::Reset();
    FormatSetting = MarkSetting = PositionSetting = SettingValue();
    ScreenLeft = ScreenTop = ScreenWidth = ScreenHeight = 0;
    VersionNumber.clear();
    VersionDate.clear();
  }
};

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new ResetProgram);
  return RUN_ALL_TESTS();
}
