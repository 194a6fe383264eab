// Which second press makes a double-click.
#include <gtest/gtest.h>

#include "platform/common/double_click.h"

namespace {

using plat::Press;

TEST(DoubleClick, SameButtonSameControlCloseInTimeAndPlace) {
  const Press first{7, 1, 1000, 100, 100};
  struct Row {
    const char* what;
    Press second;
    bool dbl;
  } rows[] = {
      {"80 ms later", {7, 1, 1080, 100, 100}, true},
      {"exactly 500 ms", {7, 1, 1500, 100, 100}, true},
      {"501 ms", {7, 1, 1501, 100, 100}, false},
      {"4 px away", {7, 1, 1080, 104, 96}, true},
      {"5 px away", {7, 1, 1080, 105, 100}, false},
      {"other control", {8, 1, 1080, 100, 100}, false},
      {"other button", {7, 3, 1080, 100, 100}, false},
      {"stamped before the first", {7, 1, 999, 100, 100}, false},
  };
  for (const Row& r : rows) EXPECT_EQ(plat::IsDoubleClick(first, r.second), r.dbl) << r.what;
}

TEST(DoubleClick, ServerTimeWrapsAt32Bits) {
  const Press first{7, 1, 0xFFFFFF00u, 10, 10};
  EXPECT_TRUE(plat::IsDoubleClick(first, {7, 1, 0x00000050u, 10, 10}));   // 336 ms later
  EXPECT_FALSE(plat::IsDoubleClick(first, {7, 1, 0x00000200u, 10, 10}));  // 768 ms later
}

}  // namespace
