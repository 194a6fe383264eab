// The desktop's scale as the X resource database publishes it (Xft.dpi).
#include <gtest/gtest.h>

#include "platform/x11/x11_resources.h"

namespace {

TEST(Scale, ReadsXftDpiFromTheResourceString) {
  struct Case {
    const char* resources;
    double factor;
  } cases[] = {
      {"", 1.0},
      {"Xft.dpi:\t192\n", 2.0},
      {"Xcursor.size:\t48\nXft.dpi:\t144\nXft.antialias:\t1\n", 1.5},
      {"Xft.dpi: 120", 1.25},
      {"Xft.dpi:\t72\n", 1.0},          // smaller than 100 % counts as 100 %
      {"Xft.dpi:\tlarge\n", 1.0},       // not a number
      {"Xft.dpix:\t192\n", 1.0},        // another resource
      {"Xft.dpi:\t96\nXft.dpi:\t192\n", 2.0},  // the last one wins
      // Decimal, and the whole value: nothing else is taken for a number.
      {"Xft.dpi:\t144.0\n", 1.5},       {"Xft.dpi:\t144 \r\n", 1.5},
      {"Xft.dpi:\t0x120\n", 1.0},       {"Xft.dpi:\t144abc\n", 1.0},
      {"Xft.dpi:\t1.92e2\n", 1.0},      {"Xft.dpi:\t14 4\n", 1.0},
      {"Xft.dpi:\t+192\n", 1.0},        {"Xft.dpi:\t.\n", 1.0},
  };
  for (const Case& c : cases)
    EXPECT_DOUBLE_EQ(plat::x11::ScaleFromResources(c.resources).Factor(), c.factor) << c.resources;
}

}  // namespace
