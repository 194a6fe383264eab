// The key-colour blend, copies between device contexts, and reading the program's pictures.
#include <gtest/gtest.h>

#include "platform/gdi.h"
#include "platform/null/null_backend.h"
#include "platform/picture_box.h"
#include "shared/assets.h"

namespace {

using plat::Image;

TEST(KeyColourBlend, KeyKeepsTheDestinationOthersTakeTheSourceAtTheOpacity) {
  struct Row {
    int opacity;
    std::uint32_t src, dst, want;
  } rows[] = {
      {255, 0xFF00FF, 0x102030, 0x102030},  // key: the destination stays
      {255, 0x0000FF, 0x102030, 0x0000FF},  // 255 replaces
      {0, 0x0000FF, 0x102030, 0x102030},    // 0 leaves the destination
      {128, 0xFFFFFF, 0x000000, 0x808080},  // half way, rounded
      {128, 0x000000, 0xFFFFFF, 0x7F7F7F},
      {51, 0xFF0000, 0x00FF00, 0x33CC00},
      {300, 0x0000FF, 0x102030, 0x0000FF},  // clamped to 255
  };
  for (const Row& r : rows) {
    Image dst(1, 1, r.dst), src(1, 1, r.src);
    plat::KeyColourBlend(dst, 0, 0, 1, 1, src, 0, 0, r.opacity, 0xFF00FF);
    EXPECT_EQ(dst.At(0, 0), r.want) << std::hex << r.src << " on " << r.dst << " at " << std::dec
                                    << r.opacity;
  }
}

TEST(KeyColourBlend, StaysInsideTheRectangleAndBothImages) {
  Image dst(4, 3, 0x111111), src(4, 3, 0x222222);
  plat::KeyColourBlend(dst, 1, 1, 10, 10, src, 2, 0, 255, 0xFF00FF);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) {
      // Source column 2 + (x - 1) exists only for x - 1 < 2.
      const bool inside = y >= 1 && x >= 1 && x - 1 + 2 < 4;
      EXPECT_EQ(dst.At(x, y), inside ? 0x222222u : 0x111111u) << x << "," << y;
    }
}

class DeviceContexts : public ::testing::Test {
 protected:
  plat::Form form{"F", plat::FormStyle::Borderless};
  plat::PictureBox a{form, "A"}, b{form, "B"};
};

TEST_F(DeviceContexts, FoxAlphaBlendTakesItsArgumentsInOrder) {
  a.Move(0, 0, 3 * 15, 1 * 15);
  b.Move(0, 0, 3 * 15, 1 * 15);
  a.Picture() = Image(3, 1, 0x000000);
  b.Picture() = Image(3, 1, 0xFF00FF);
  b.Picture().At(2, 0) = 0x00FF00;
  // Key 0x00FF00FF is magenta in the 0x00BBGGRR layout.
  EXPECT_EQ(plat::FoxAlphaBlend(a.hDC(), 1, 0, 2, 1, b.hDC(), 1, 0, 255, 0x00FF00FF, 1), 1);
  EXPECT_EQ(a.Picture().At(0, 0), 0x000000u);
  EXPECT_EQ(a.Picture().At(1, 0), 0x000000u);  // source (1,0) is the key
  EXPECT_EQ(a.Picture().At(2, 0), 0x00FF00u);
}

TEST_F(DeviceContexts, DesktopCaptureIsClippedToTheScreen) {
  plat::null::World().screen = Image(10, 10, 0xABCDEF);
  a.Move(0, 0, 4 * 15, 4 * 15);
  plat::WindowHandle desk = plat::GetDesktopWindow();
  plat::DcHandle dc = plat::GetDC(desk);
  ASSERT_NE(dc, 0u);
  EXPECT_TRUE(plat::BitBlt(a.hDC(), 0, 0, 4, 4, dc, 8, -2, plat::kSrcCopy));
  EXPECT_EQ(a.Picture().At(0, 2), 0xABCDEFu);  // screen (8, 0)
  EXPECT_EQ(a.Picture().At(0, 1), 0u);         // above the screen
  EXPECT_EQ(a.Picture().At(2, 3), 0u);         // right of it
  EXPECT_EQ(plat::ReleaseDC(desk, dc), 1);
  EXPECT_FALSE(plat::BitBlt(a.hDC(), 0, 0, 1, 1, dc, 0, 0, plat::kSrcCopy));  // released
  EXPECT_EQ(plat::GetDC(0x4242), 0u);  // only the desktop has a context here
}

TEST(Pictures, TheIconHasBothSizesWithTransparentCorners) {
  for (int size : {32, 16}) {
    auto icon = plat::DecodeIco(kZorvaneIco, kZorvaneIcoSize, size);
    ASSERT_TRUE(icon) << size;
    EXPECT_EQ(icon->width, size);
    EXPECT_EQ(icon->height, size);
    EXPECT_EQ(icon->At(0, 0) >> 24, 0u);                    // transparent corner
    EXPECT_EQ(icon->At(size / 2, size - 3) >> 24, 0xFFu);   // the triangle's base
  }
}

TEST(Pictures, DamagedFilesAreRefused) {
  auto bmp = plat::DecodeBmp(kAboutBmp, kAboutBmpSize);
  ASSERT_TRUE(bmp);
  EXPECT_EQ(bmp->width, 419);
  EXPECT_EQ(bmp->height, 336);
  EXPECT_FALSE(plat::DecodeBmp(kAboutBmp, kAboutBmpSize - 1));  // truncated pixel rows
  EXPECT_FALSE(plat::DecodeBmp(kAboutBmp, 60));
  std::vector<unsigned char> bad(kAboutBmp, kAboutBmp + kAboutBmpSize);
  bad[0] = 'X';
  EXPECT_FALSE(plat::DecodeBmp(bad.data(), bad.size()));
  EXPECT_FALSE(plat::DecodeIco(kZorvaneIco, 20, 32));
}

}  // namespace
