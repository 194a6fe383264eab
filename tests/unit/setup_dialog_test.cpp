// The Setup dialog on the in-memory platform: what it shows for the stored settings, and what
// Apply stores and moves.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "clock/main_form.h"
#include "platform/null/null_backend.h"
#include "settings/config_form.h"
#include "settings/mdl_registry.h"
#include "shared/main_mod.h"

namespace {

using plat::null::World;

struct Loaded {
  SettingValue mark, format, position;
  int check1, check2, option;  // option -1: none selected
};

int SelectedOption(Config& c) {
  int selected = -1;
  for (int i = 0; i < 7; ++i)
    if (c.Option1(i).Value()) {
      EXPECT_EQ(selected, -1) << "two options selected";
      selected = i;
    }
  return selected;
}

class SetupLoad : public ::testing::TestWithParam<Loaded> {};

TEST_P(SetupLoad, ShowsTheStoredChoices) {
  const Loaded& l = GetParam();
  MarkSetting = l.mark;
  FormatSetting = l.format;
  PositionSetting = l.position;
  Main clock;
  Config c(clock);
  c.Load();
  EXPECT_EQ(c.Check1.Value(), l.check1);
  EXPECT_EQ(c.Check2.Value(), l.check2);
  EXPECT_EQ(SelectedOption(c), l.option);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SetupLoad,
    ::testing::Values(
        // After a first start only "Format" = 1 exists.
        Loaded{SettingValue(), SettingValue(1), SettingValue(), 0, 1, 6},
        Loaded{SettingValue(1), SettingValue(0), SettingValue(3), 1, 0, 2},
        Loaded{SettingValue(0), SettingValue(5), SettingValue(0), 0, 0, 6},
        Loaded{SettingValue(2), SettingValue(1), SettingValue(1), 0, 1, 0},
        Loaded{SettingValue(1), SettingValue(1), SettingValue(4), 1, 1, 3},
        Loaded{SettingValue(), SettingValue(), SettingValue(6), 0, 0, 5},
        Loaded{SettingValue(), SettingValue(), SettingValue(9), 0, 0, -1},
        Loaded{SettingValue(), SettingValue(), SettingValue(-1), 0, 0, -1}));

// Each option, applied, puts the clock where it stands in the dialog: of any two, the one
// further left (up) moves the clock further left (up), two in one column (row) to one column
// (row). Closer than an option's own width counts as one column.
TEST(SetupDialog, OptionsStandWhereTheyPutTheClock) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  World().screenWidthPixels = 1280;
  World().screenHeightPixels = 1024;
  struct Place {
    double optionX, optionY, clockX, clockY;
  };
  std::vector<Place> places;
  for (int i = 0; i < 7; ++i) {
    Main clock;
    Config c(clock);
    c.Load();
    for (int j = 0; j < 7; ++j) c.Option1(j).SetValue(j == i);
    const Place p{c.Option1(i).Left(), c.Option1(i).Top(), 0, 0};
    c.Command1_Click();
    places.push_back({p.optionX, p.optionY, clock.Left(), clock.Top()});
  }
  auto side = [](double a, double b, double near) { return a < b - near ? -1 : a > b + near; };
  for (const Place& a : places)
    for (const Place& b : places) {
      EXPECT_EQ(side(a.optionX, b.optionX, 255), side(a.clockX, b.clockX, 255));
      EXPECT_EQ(side(a.optionY, b.optionY, 255), side(a.clockY, b.clockY, 255));
    }
}

TEST(SetupDialog, OpensBesideTheClockCorner) {
  Main clock;
  clock.Move(3000, 4500);
  Config c(clock);
  c.Load();
  EXPECT_DOUBLE_EQ(c.Left(), 4100);
  EXPECT_DOUBLE_EQ(c.Top(), 5100);
}

TEST(SetupDialog, OptionButtonsAreOneGroup) {
  Main clock;
  Config c(clock);
  c.Load();
  c.Option1(2).UserClicked();
  c.Option1(5).UserClicked();
  EXPECT_EQ(SelectedOption(c), 5);
}

struct Applied {
  int check1, check2, option;
  SettingValue storedPosition;
  std::int32_t wantPosition;
  bool moves;
  double left, top;
};

class SetupApply : public ::testing::TestWithParam<Applied> {};

TEST_P(SetupApply, StoresAllThreeAndMovesTheClock) {
  const Applied& a = GetParam();
  CreateSettingsKey(SettingsRoot, SettingsKey);
  World().screenWidthPixels = 1280;
  World().screenHeightPixels = 1024;
  PositionSetting = a.storedPosition;
  FormatSetting = 0;
  MarkSetting = SettingValue();
  Main clock;
  clock.Move(111, 222);
  clock.Label1.SetCaption("PM");
  Config c(clock);
  c.Load();
  c.Check1.SetValue(a.check1);
  c.Check2.SetValue(a.check2);
  for (int i = 0; i < 7; ++i) c.Option1(i).SetValue(i == a.option);
  c.Command1_Click();

  EXPECT_FALSE(c.Loaded());
  EXPECT_EQ(ReadSetting("Mark"), a.check1);
  EXPECT_EQ(ReadSetting("Format"), a.check2);
  EXPECT_EQ(ReadSetting("Position"), a.wantPosition);
  EXPECT_EQ(PositionSetting, a.wantPosition);
  EXPECT_EQ(MarkSetting, a.check1);
  EXPECT_EQ(FormatSetting, a.check2);
  EXPECT_EQ(clock.Label1.Caption(), a.check2 ? "MIL" : "PM");
  EXPECT_DOUBLE_EQ(clock.Left(), a.moves ? a.left : 111);
  EXPECT_DOUBLE_EQ(clock.Top(), a.moves ? a.top : 222);
}

INSTANTIATE_TEST_SUITE_P(
    Choices, SetupApply,
    ::testing::Values(
        Applied{0, 1, 3, SettingValue(3), 4, true, 0, 15360 - 3400},        // bottom left
        Applied{1, 0, 6, SettingValue(), 0, true, 9600 - 2250, 7680 - 1700},  // centre
        Applied{1, 1, 2, SettingValue(0), 3, true, 19200 - 4500, 0},        // top right
        Applied{0, 0, 4, SettingValue(1), 5, true, 9600 - 2250, 15360 - 3400},
        // No option selected: nothing moves and the old value is written back.
        Applied{0, 1, -1, SettingValue(9), 9, false, 0, 0}));

// The screen changed since start-up (a resolution change, a panel): Apply measures it again and
// puts the clock on it, below the panel.
TEST(SetupDialog, ApplyMeasuresTheScreenAsItIsNow) {
  CreateSettingsKey(SettingsRoot, SettingsKey);
  World().screenWidthPixels = 1600;
  Main clock;
  MeasureScreen(plat::Monitors());
  World().monitors = {plat::Monitor{{0, 0, 800 * 15, 600 * 15}, {0, 0, 800 * 15, 568 * 15}}};
  Config c(clock);
  c.Load();
  c.Option1(5).SetValue(true);  // bottom right
  c.Command1_Click();
  EXPECT_DOUBLE_EQ(clock.Left(), 12000 - 4500);
  EXPECT_DOUBLE_EQ(clock.Top(), 568 * 15 - 3400);
  EXPECT_DOUBLE_EQ(ScreenHeight, 568 * 15);
}

TEST(SetupDialog, WebLinkTriesTheNamedBrowserThenTheUsersOwn) {
  Main clock;
  Config c(clock);
  c.Label2_Click();
  ASSERT_EQ(World().urlsOpened.size(), 1u);
  EXPECT_EQ(World().urlsOpened[0], "https://zorvane.example.org/");
  EXPECT_TRUE(World().started.empty());

  World().urlsOpened.clear();
  World().existingFiles = {"\\Internet Explorer\\IEXPLORE.EXE"};  // ProgramFiles is unset here
  c.Label2_Click();
  ASSERT_EQ(World().started.size(), 1u);
  EXPECT_EQ(World().started[0],
            (std::vector<std::string>{"\\Internet Explorer\\IEXPLORE.EXE", "https://zorvane.example.org/"}));
  EXPECT_TRUE(World().urlsOpened.empty());
}

}  // namespace

namespace {

TEST(SetupKeyboard, TabOrderOptionGroupSpaceAndEnter) {
  plat::null::Reset();
  CreateSettingsKey(SettingsRoot, SettingsKey);
  MarkSetting = SettingValue(0);
  FormatSetting = SettingValue(1);
  PositionSetting = SettingValue(3);  // Option1(2)
  Main clock;
  Config c(clock);
  c.Show();
  using K = plat::Key;
  const struct Step {
    K key;
    int shift;
    const char* focused;
  } steps[] = {
      {K::Tab, 0, "Check2"},        {K::Tab, 0, "Option1(2)"},  // the group's selected option
      {K::Right, 0, "Option1(3)"},  {K::Tab, 0, "Command1"},
      {K::Tab, 0, "Command2"},      {K::Tab, 0, "Check1"},      // round again
      {K::Tab, 1, "Command2"},      {K::Tab, 1, "Command1"},
      {K::Tab, 1, "Option1(3)"},    {K::Up, 0, "Option1(2)"},
      {K::Left, 0, "Option1(1)"},   {K::Left, 0, "Option1(0)"},
      {K::Left, 0, "Option1(6)"},   {K::Down, 0, "Option1(0)"},  // the centre is the last
      {K::Tab, 1, "Check2"},        {K::Tab, 1, "Check1"},
      {K::Space, 0, "Check1"},      {K::Enter, 0, "Check1"},     // Enter on a box does nothing
  };
  ASSERT_NE(c.FocusedControl(), nullptr);
  EXPECT_EQ(c.FocusedControl()->DesignName(), "Check1");  // where the dialog opens
  for (const Step& s : steps) {
    c.NativeKey(s.key, s.shift);
    ASSERT_NE(c.FocusedControl(), nullptr);
    EXPECT_EQ(c.FocusedControl()->DesignName(), s.focused);
  }
  EXPECT_EQ(c.Check1.Value(), 1);  // ticked by Space
  EXPECT_TRUE(c.Option1(0).Value());
  // To Apply and press it with Enter: the choices are stored and the dialog closes.
  c.FocusControl(&c.Command1);
  c.NativeKey(K::Enter, 0);
  EXPECT_FALSE(c.Loaded());
  EXPECT_EQ(ReadSetting("Position"), 1);
  EXPECT_EQ(ReadSetting("Mark"), 1);
}

std::string FocusedName(const Config& c) {
  return c.FocusedControl() ? c.FocusedControl()->DesignName() : "(none)";
}

// Tab from the first stop round to it again, for the choices the dialog can open with: the
// option group stands at its chosen option's TabIndex (with none chosen, at Option1(0)'s).
// Shift+Tab walks the same round backwards.
TEST(SetupKeyboard, TabRoundPutsTheGroupAtItsChosenOption) {
  const struct Round {
    long position;  // stored; 9 chooses no option
    std::vector<std::string> stops;
  } rounds[] = {
      {0, {"Check1", "Check2", "Command1", "Command2", "Option1(6)"}},  // the centre, as on a first run
      {3, {"Check1", "Check2", "Option1(2)", "Command1", "Command2"}},
      {9, {"Check1", "Check2", "Option1(0)", "Command1", "Command2"}},
  };
  for (const Round& r : rounds) {
    plat::null::Reset();
    CreateSettingsKey(SettingsRoot, SettingsKey);
    PositionSetting = SettingValue(r.position);
    Main clock;
    Config c(clock);
    c.Show();
    std::vector<std::string> forward{FocusedName(c)}, backward{FocusedName(c)};
    for (size_t i = 0; i < r.stops.size(); ++i) {
      c.NativeKey(plat::Key::Tab, 0);
      forward.push_back(FocusedName(c));
    }
    for (size_t i = 0; i < r.stops.size(); ++i) {
      c.NativeKey(plat::Key::Tab, plat::kShiftMask);
      backward.push_back(FocusedName(c));
    }
    std::vector<std::string> round = r.stops;
    round.push_back(r.stops.front());
    EXPECT_EQ(forward, round) << "Position " << r.position;
    std::reverse(round.begin(), round.end());
    EXPECT_EQ(backward, round) << "Position " << r.position;
  }
}

}  // namespace
