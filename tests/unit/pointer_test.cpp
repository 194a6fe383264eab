// Double-clicks and right-button releases on the clock.
#include <gtest/gtest.h>

#include "clock/main_form.h"
#include "platform/null/null_backend.h"
#include "settings/config_form.h"
#include "settings/mdl_registry.h"
#include "shared/main_mod.h"

namespace {

using plat::null::World;

TEST(ModeSwitch, FlipsBetween24And12HourAndStoresIt) {
  struct Row {
    SettingValue from;
    std::int32_t stored;
    const char* label;
  } rows[] = {
      {SettingValue(1), 0, "PM"},  // the label keeps its caption until the loop's next pass
      {SettingValue(0), 1, "MIL"},
      {SettingValue(5), 1, "MIL"},
      {SettingValue(), 1, "MIL"},
  };
  for (const Row& r : rows) {
    plat::null::Reset();
    CreateSettingsKey(SettingsRoot, SettingsKey);
    FormatSetting = r.from;
    Main m;
    m.Label1.SetCaption("PM");
    m.Label1_DblClick();
    EXPECT_EQ(FormatSetting, r.stored);
    EXPECT_EQ(ReadSetting("Format"), r.stored);
    EXPECT_EQ(m.Label1.Caption(), r.label);
  }
}

TEST(ModeSwitch, TwoSwitchesReturnToTheStart) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  for (std::int32_t start : {0, 1}) {
    FormatSetting = start;
    Main m;
    m.Label1_DblClick();
    m.Label1_DblClick();
    EXPECT_EQ(ReadSetting("Format"), start);
  }
}

TEST(MarkSwitch, TogglesTheMarkAndStoresIt) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  MarkSetting = SettingValue();
  Main m;
  m.Label2_DblClick();
  EXPECT_TRUE(m.Line1.Visible());
  EXPECT_EQ(ReadSetting("Mark"), 1);
  m.Label2_DblClick();
  EXPECT_FALSE(m.Line1.Visible());
  EXPECT_EQ(ReadSetting("Mark"), 0);
  MarkSetting = 5;
  m.Label2_DblClick();
  EXPECT_TRUE(m.Line1.Visible());
  EXPECT_EQ(ReadSetting("Mark"), 1);
}

TEST(EndByDoubleClick, EndsAtOnceWithStatusZeroAndWritesNothing) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  WriteSetting("Format", SettingValue(1));
  Main m;
  const int saves = World().hive.saves;
  auto ends = [&](const std::function<void()>& act) {
    try {
      act();
    } catch (const plat::null::ProgramEnded& e) {
      return e.status;
    }
    return -1;
  };
  EXPECT_EQ(ends([&] { m.Form_DblClick(); }), 0);
  EXPECT_EQ(ends([&] { m.Label3_DblClick(); }), 0);
  EXPECT_EQ(ends([&] { m.Yr(2).DblClick(); }), 0);
  EXPECT_EQ(ends([&] { m.Sec(0).DblClick(); }), 0);
  EXPECT_EQ(World().hive.saves, saves);
}

TEST(RightClick, OpensSetupFromTheModeLabelAndEveryTierOnly) {
  Main m;
  int opened = 0;
  World().onModal = [&](plat::Form& f) { opened += f.DesignName() == "Config"; };
  m.Label1.MouseUp(plat::kRightButton, 0, 0, 0);
  EXPECT_EQ(opened, 1);
  m.Label1.MouseUp(plat::kLeftButton, 0, 0, 0);
  m.Label1.MouseUp(plat::kMiddleButton, 0, 0, 0);
  EXPECT_EQ(opened, 1);
  int expected = 1;
  for (auto* tier : {&m.Sec, &m.Min, &m.Hours, &m.Daywk, &m.NumDay, &m.Mnth, &m.Yr})
    for (int k = 0; k < tier->Count(); ++k) {
      (*tier)(k).MouseUp(plat::kLeftButton, 0, 0, 0);
      (*tier)(k).MouseUp(plat::kRightButton, 0, 0, 0);
      EXPECT_EQ(opened, ++expected) << (*tier)(k).DesignName();
    }
  // The bar, the apex strip and the background have no right-click action.
  EXPECT_FALSE(m.Label2.MouseUp);
  EXPECT_FALSE(m.Label3.MouseUp);
  EXPECT_FALSE(m.MouseUp);
}

TEST(RightClick, ReappliesTheMarkWhenTheDialogCloses) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  Main m;
  // Closed without Apply: the mark shows the stored state again.
  MarkSetting = 1;
  m.Line1.SetVisible(false);
  m.Label1.MouseUp(plat::kRightButton, 0, 0, 0);
  EXPECT_TRUE(m.Line1.Visible());
  EXPECT_TRUE(ReadSetting("Mark").IsMissing());  // nothing stored

  // Apply with the marker cleared hides it.
  World().onModal = [](plat::Form& f) {
    auto& c = static_cast<Config&>(f);
    EXPECT_EQ(c.Check1.Value(), 1);
    c.Check1.UserClicked();
    c.Command1_Click();
  };
  m.Label1.MouseUp(plat::kRightButton, 0, 0, 0);
  EXPECT_FALSE(m.Line1.Visible());
  EXPECT_EQ(ReadSetting("Mark"), 0);
}

}  // namespace
