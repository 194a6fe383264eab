// The About window: its credits, its timeline, and the picture laid over the captured screen.
#include <gtest/gtest.h>

#include "about/about_form.h"
#include "about/credits.h"
#include "platform/null/null_backend.h"
#include "shared/assets.h"
#include "shared/main_mod.h"

namespace {

using plat::null::World;

class Credits : public ::testing::Test {
 protected:
  void SetUp() override {
    VersionNumber = "1.00";
    VersionDate = "28 Nov 2007";
  }
};

TEST_F(Credits, EveryStepHasSevenLinesWithTheNewestAtTheBottom) {
  const std::string web = kMakerWebAddress, mail = kSupportEmail;
  const std::pair<int, std::string> steps[] = {
      {0, "\r\n\r\n\r\n\r\n\r\n\r\nZorvane\r\n"},
      {1, "\r\n\r\n\r\n\r\n\r\nZorvane\r\nVersion 1.00 Dated: 28 Nov 2007\r\n"},
      {4, "\r\n\r\nZorvane\r\nVersion 1.00 Dated: 28 Nov 2007\r\n\r\nCreated by Oskerand\r\n" + web +
              "\r\n"},
      {6, "Zorvane\r\nVersion 1.00 Dated: 28 Nov 2007\r\n\r\nCreated by Oskerand\r\n" + web +
              "\r\nFor support send an email to:\r\n" + mail + "\r\n"},
  };
  for (const auto& [step, want] : steps) EXPECT_EQ(CreditsText(step, "Zorvane"), want) << "step " << step;
}

TEST_F(Credits, EmptyVersionPartsLeaveTheFixedWords) {
  VersionNumber.clear();
  VersionDate.clear();
  EXPECT_EQ(CreditsText(1, "Zorvane"), "\r\n\r\n\r\n\r\n\r\nZorvane\r\nVersion  Dated: \r\n");
}

class AboutWindowTest : public Credits {};

TEST_F(AboutWindowTest, TimelineOfTicks) {
  About& a = AboutWindow();
  a.Load();
  EXPECT_EQ(a.Text1.Text(), CreditsText(0, "Zorvane"));
  EXPECT_TRUE(a.Picture4.Visible());
  EXPECT_TRUE(a.Timer1.Enabled());
  EXPECT_EQ(a.Timer1.Interval(), 500);
  std::string lastText = a.Text1.Text();
  for (int tick = 1; tick <= 50; ++tick) {
    plat::null::FireTimers();
    ASSERT_TRUE(a.Loaded()) << "closed early at tick " << tick;
    EXPECT_EQ(a.TickCounter, tick);
    EXPECT_EQ(a.Picture4.Visible(), tick % 2 == 0) << "tick " << tick;
    const bool step = tick % 3 == 0 && tick <= 18;
    if (step) EXPECT_EQ(a.Text1.Text(), CreditsText(tick / 3, "Zorvane")) << "tick " << tick;
    else EXPECT_EQ(a.Text1.Text(), lastText) << "tick " << tick;
    lastText = a.Text1.Text();
  }
  plat::null::FireTimers();
  EXPECT_FALSE(a.Loaded());
  EXPECT_FALSE(a.Timer1.Enabled());
  EXPECT_FALSE(a.Picture4.Visible());
}

TEST_F(AboutWindowTest, ReopeningStartsOver) {
  About& a = AboutWindow();
  a.Load();
  plat::null::FireTimers(7);
  a.Text2_Click();
  EXPECT_FALSE(a.Loaded());
  a.Load();
  EXPECT_EQ(a.TickCounter, 0);
  EXPECT_EQ(a.Text1.Text(), CreditsText(0, "Zorvane"));
  EXPECT_TRUE(a.Picture4.Visible());
  // What the user typed is gone at the next step.
  a.Text1.UserEdited("typed");
  plat::null::FireTimers(3);
  EXPECT_EQ(a.Text1.Text(), CreditsText(1, "Zorvane"));
  a.Picture1_DblClick();
  EXPECT_FALSE(a.Loaded());
}

TEST_F(AboutWindowTest, LaysOutOnThePictureAndTakesItsSize) {
  About& a = AboutWindow();
  a.Load();
  EXPECT_DOUBLE_EQ(a.Width(), 419 * 15);
  EXPECT_DOUBLE_EQ(a.Height(), 336 * 15);
  EXPECT_FLOAT_EQ(a.Text1.Left(), 960);
  EXPECT_FLOAT_EQ(a.Text1.Top(), 660);
  EXPECT_FLOAT_EQ(a.Text2.Left(), 4680);
  EXPECT_FLOAT_EQ(a.Text2.Top(), 3600);
  EXPECT_FLOAT_EQ(a.Picture4.Left(), 5440);
  EXPECT_FLOAT_EQ(a.Picture4.Top(), 2710);
  a.Unload();
}

TEST_F(AboutWindowTest, SeeThroughPixelsShowTheScreenBehindTheWindow) {
  // A screen with a different colour in every pixel.
  for (int y = 0; y < World().screen.height; ++y)
    for (int x = 0; x < World().screen.width; ++x) World().screen.At(x, y) = std::uint32_t(x << 12 | y);
  About& a = AboutWindow();
  a.Load();
  a.Move(100 * 15, 50 * 15);
  a.CaptureAndCompose();
  const plat::Image& shown = a.Picture1.Picture();
  const plat::Image& picture = a.Picture3.Picture();
  ASSERT_EQ(shown.width, 419);
  ASSERT_EQ(shown.height, 336);
  int keyed = 0;
  for (int y = 0; y < 336; ++y)
    for (int x = 0; x < 419; ++x) {
      // The picture knows which of its pixels show the screen, for drawing them at another scale.
      const bool throughShown = a.Picture1.SeeThroughPixels().Shows(shown, x, y);
      if (picture.At(x, y) == 0xFF00FF) {
        ++keyed;
        ASSERT_EQ(shown.At(x, y), World().screen.At(100 + x, 50 + y)) << x << "," << y;
        ASSERT_TRUE(throughShown) << x << "," << y;
      } else {
        ASSERT_EQ(shown.At(x, y), picture.At(x, y)) << x << "," << y;
        ASSERT_FALSE(throughShown) << x << "," << y;
      }
    }
  for (auto [x, y] : {std::pair{0, 0}, {418, 0}, {0, 335}, {418, 335}})
    EXPECT_EQ(picture.At(x, y), 0xFF00FFu) << "corner " << x << "," << y;
  EXPECT_NEAR(double(keyed) / (419 * 336), 0.27, 0.03);
  a.Unload();
}

TEST_F(AboutWindowTest, CaptureUsesFifteenTwipsPerPixelAndClipsToTheScreen) {
  World().screen = plat::Image(1024, 768, 0x123456);
  About& a = AboutWindow();
  a.Load();
  a.Move(-100 * 15 - 7, 700 * 15 + 7);  // partly off the screen, not on a whole pixel
  a.CaptureAndCompose();
  const plat::Image& shown = a.Picture1.Picture();
  EXPECT_EQ(shown.At(0, 0), 0u);           // left of the screen: nothing to read
  EXPECT_EQ(shown.At(418, 0), 0x123456u);  // on the screen
  EXPECT_EQ(shown.At(418, 335), 0u);       // below it
  a.Unload();
}

TEST(AboutPicture, IsTheCarriedBitmapWithMagentaAtEntry178) {
  ASSERT_GT(kAboutBmpSize, 1078u);
  // 8 bits, bottom-up, 256 colours, 3811 pixels per metre.
  auto u32 = [](size_t at) {
    return std::uint32_t(kAboutBmp[at] | kAboutBmp[at + 1] << 8 | kAboutBmp[at + 2] << 16 |
                         std::uint32_t(kAboutBmp[at + 3]) << 24);
  };
  EXPECT_EQ(u32(18), 419u);
  EXPECT_EQ(u32(22), 336u);
  EXPECT_EQ(kAboutBmp[28], 8);
  EXPECT_EQ(u32(38), 3811u);
  const size_t entry = 54 + 178 * 4;
  EXPECT_EQ(kAboutBmp[entry], 255);      // blue
  EXPECT_EQ(kAboutBmp[entry + 1], 0);    // green
  EXPECT_EQ(kAboutBmp[entry + 2], 255);  // red
  // The bottom-left pixel is the first in the file, and see-through.
  EXPECT_EQ(kAboutBmp[u32(10)], 178);
}

}  // namespace
