// Logical pixels to device pixels and back, at the scales desktops use.
#include <gtest/gtest.h>

#include "platform/common/device_picture.h"
#include "platform/common/scale.h"

namespace {

using plat::DisplayScale;
using plat::PixelRect;

TEST(Scale, MapsEdgesRoundingHalfUp) {
  struct Case {
    double factor;
    int logical, device;
  } cases[] = {
      {1.0, 7, 7},    {1.0, -3, -3},   {2.0, 150, 300},  {2.0, -1, -2},  {1.5, 1, 2},
      {1.5, 225, 338}, {1.5, -1, -1},  {1.5, -3, -4},    {1.25, 3, 4},   {1.25, 2, 3},
      {1.25, -2, -2},  {0.5, 40, 40},  {1.75, 800, 1400},
  };
  for (const Case& c : cases)
    EXPECT_EQ(DisplayScale(c.factor).ToDevice(c.logical), c.device)
        << c.factor << " x " << c.logical;
}

TEST(Scale, EveryDevicePixelBelongsToTheLogicalPixelThatCoversIt) {
  for (double f : {1.0, 1.25, 1.5, 1.75, 2.0, 2.5, 3.0}) {
    const DisplayScale s(f);
    for (int x = -40; x <= 40; ++x) {
      EXPECT_EQ(s.ToLogical(s.ToDevice(x)), x) << f << " x " << x;
      for (int d = s.ToDevice(x); d < s.ToDevice(x + 1); ++d) EXPECT_EQ(s.ToLogical(d), x) << f;
    }
  }
}

TEST(Scale, RectanglesKeepTouchingAndOddSizesSplitUnevenly) {
  const DisplayScale s(1.5);
  const PixelRect a = s.ToDevice(PixelRect{-3, 1, 3, 5});
  const PixelRect b = s.ToDevice(PixelRect{0, 6, 419, 336});
  EXPECT_EQ(a, (PixelRect{-4, 2, 4, 7}));
  EXPECT_EQ(b, (PixelRect{0, 9, 629, 504}));
  EXPECT_EQ(a.x + a.w, b.x);
  EXPECT_EQ(a.y + a.h, b.y);
  EXPECT_EQ(DisplayScale(2).ToDevice(PixelRect{0, 0, 800, 800}), (PixelRect{0, 0, 1600, 1600}));
}

TEST(Scale, LengthsNeverVanish) {
  EXPECT_EQ(DisplayScale(1.25).Length(1), 1);
  EXPECT_EQ(DisplayScale(1.5).Length(1), 2);
  EXPECT_EQ(DisplayScale(2).Length(3), 6);
  EXPECT_EQ(DisplayScale(2).Length(0), 0);
}

// The triangle (300 x 225 logical px) on a monitor: a fitting scale stays, a larger one becomes
// the largest whose device edges still fit; never below 1.
TEST(Scale, FitsTheTriangleOnTheMonitor) {
  struct Case {
    double factor;
    int areaW, areaH;
    double fit;
  } cases[] = {
      {2.0, 1280, 1024, 2.0},
      {8.0, 1280, 1024, 1280.0 / 300},  // the width decides
      {8.0, 3000, 1024, 1024.0 / 225},  // the height decides
      {3.0, 200, 100, 1.0},             // a monitor smaller than the triangle itself
  };
  for (const Case& c : cases) {
    const DisplayScale got = plat::FitScale(DisplayScale(c.factor), 300, 225, c.areaW, c.areaH);
    EXPECT_NEAR(got.Factor(), c.fit, 1e-9) << c.factor << " on " << c.areaW << "x" << c.areaH;
    if (c.fit > 1) {
      EXPECT_LE(got.ToDevice(300), c.areaW);
      EXPECT_LE(got.ToDevice(225), c.areaH);
    }
  }
}

// A 2 x 1 picture at 150 % (3 x 2 device pixels): its own pixel is blown up, its see-through
// one shows the screen's device pixels, each its own.
TEST(DevicePicture, OwnPixelsBlownUpSeeThroughOnesFromTheScreen) {
  plat::Image img(2, 1);
  img.At(0, 0) = 0xAA0000;
  img.At(1, 0) = 0x00FF00;  // what the capture sampled; the device pixels differ
  plat::SeeThrough through;
  through.mask = {false, true};
  through.screen.rect = {10, 20, 3, 2};
  through.screen.pixels = {1, 2, 3, 4, 5, 6};
  const DisplayScale scale(1.5);
  EXPECT_EQ(plat::PictureAtDevice(img, scale, 3, 2, &through, 10, 20),
            (std::vector<std::uint32_t>{0xAA0000, 0xAA0000, 3, 0xAA0000, 0xAA0000, 6}));
  // Without the screen behind it (moved off the capture), the picture's own pixel shows, marked
  // as a hole; with the screen there, nothing is.
  std::vector<bool> holes;
  EXPECT_EQ(plat::PictureAtDevice(img, scale, 3, 2, &through, 50, 50, &holes),
            (std::vector<std::uint32_t>{0xAA0000, 0xAA0000, 0x00FF00, 0xAA0000, 0xAA0000, 0x00FF00}));
  EXPECT_EQ(holes, (std::vector<bool>{false, false, true, false, false, true}));
  plat::PictureAtDevice(img, scale, 3, 2, &through, 10, 20, &holes);
  EXPECT_EQ(holes, std::vector<bool>(6, false));
}

}  // namespace
