#include <gtest/gtest.h>

#include <cstring>

#include "platform/null/null_backend.h"
#include "tick_cost.h"

// Every test starts from a fresh in-memory platform.
class ResetNullBackend : public ::testing::EmptyTestEventListener {
  void OnTestStart(const ::testing::TestInfo&) override { plat::null::Reset(); }
};

int main(int argc, char** argv) {
  // A measurement, not a test: bench/windows_side_by_side.sh runs it in each build.
  if (argc == 2 && std::strcmp(argv[1], "--tick-cost") == 0) return RunTickCost();
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::UnitTest::GetInstance()->listeners().Append(new ResetNullBackend);
  return RUN_ALL_TESTS();
}
