#include <gtest/gtest.h>

#include "platform/null/null_backend.h"

// Every test starts from a fresh in-memory platform.
class ResetNullBackend : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { plat::null::Reset(); }
};

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new ResetNullBackend);
  return RUN_ALL_TESTS();
}
