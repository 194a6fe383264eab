// The pixels the clock's triangle covers.
#include <gtest/gtest.h>

#include <map>

#include "platform/common/polygon_rows.h"

namespace {

std::map<int, plat::PixelSpan> Rows(const std::vector<plat::PixelSpan>& spans) {
  std::map<int, plat::PixelSpan> rows;
  for (auto& s : spans) {
    EXPECT_EQ(rows.count(s.y), 0u) << "two spans on row " << s.y;
    rows[s.y] = s;
  }
  return rows;
}

TEST(Triangle, CoversPixelCentresInsideTheClockOutline) {
  auto rows = Rows(plat::PolygonSpans({{150, 0}, {0, 225}, {300, 225}}));
  // The apex row holds no whole pixel centre; row 1 holds two, the base row the full 300.
  EXPECT_EQ(rows.count(0), 0u);
  EXPECT_EQ(rows.at(1), (plat::PixelSpan{1, 149, 2}));
  EXPECT_EQ(rows.at(224), (plat::PixelSpan{224, 0, 300}));
  EXPECT_EQ(rows.count(225), 0u);
  EXPECT_EQ(rows.size(), 224u);

  long area = 0;
  for (auto& [y, s] : rows) {
    area += s.width;
    // Mirror image about x = 150: the left and right edges keep the same distance.
    EXPECT_EQ(s.x + s.width, 300 - s.x) << "row " << y;
    // Every pixel whose centre is inside, and no other: 6x >= 895 - 4y.
    int first = 0;
    while (6 * first < 895 - 4 * y) ++first;
    EXPECT_EQ(s.x, first) << "row " << y;
  }
  // Close to the exact area of 300 x 225 / 2.
  EXPECT_NEAR(area, 33750, 150);
}

TEST(Triangle, EmptyAndDegeneratePolygonsCoverNothing) {
  EXPECT_TRUE(plat::PolygonSpans({}).empty());
  EXPECT_TRUE(plat::PolygonSpans({{0, 0}, {10, 10}}).empty());
  EXPECT_TRUE(plat::PolygonSpans({{0, 5}, {10, 5}, {20, 5}}).empty());
}

TEST(Triangle, RectangleCoversExactlyItsPixels) {
  auto spans = plat::PolygonSpans({{2, 3}, {7, 3}, {7, 5}, {2, 5}});
  ASSERT_EQ(spans.size(), 2u);
  EXPECT_EQ(spans[0], (plat::PixelSpan{3, 2, 5}));
  EXPECT_EQ(spans[1], (plat::PixelSpan{4, 2, 5}));
}

}  // namespace
