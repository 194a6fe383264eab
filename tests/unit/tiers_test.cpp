// The tiers at the instants where faults hide: turns of minute, day, month and year.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "clock/main_form.h"
#include "platform/null/null_backend.h"
#include "platform/registry.h"
#include "shared/main_mod.h"

namespace {

using plat::DateTime;

std::vector<std::string> Captions(plat::ControlArray<plat::Label>& a, int n) {
  std::vector<std::string> v;
  for (int k = 0; k < n; ++k) v.push_back(a(k).Caption());
  return v;
}

std::vector<float> Lefts(plat::ControlArray<plat::Label>& a) {
  std::vector<float> v;
  for (int k = 0; k < a.Count(); ++k) v.push_back(a(k).Left());
  return v;
}

using S = std::vector<std::string>;
using F = std::vector<float>;

struct Instant {
  DateTime at;
  S sec, min, hours24, hours12, day, weekday, month, year;
  const char* ampm;
};

class Tiers : public ::testing::TestWithParam<Instant> {};

TEST_P(Tiers, CaptionsFollowTheClock) {
  const Instant& i = GetParam();
  for (int format : {1, 0}) {
    FormatSetting = format;
    Main m;
    m.Label1.SetCaption("MIL");
    m.UpdateTiers(i.at);
    EXPECT_EQ(Captions(m.Sec, 5), i.sec);
    EXPECT_EQ(Captions(m.Min, 5), i.min);
    EXPECT_EQ(Captions(m.Hours, 5), format == 1 ? i.hours24 : i.hours12);
    EXPECT_EQ(Captions(m.Daywk, 5), i.day);
    EXPECT_EQ(Captions(m.NumDay, 5), i.weekday);
    EXPECT_EQ(Captions(m.Mnth, 4), i.month);
    EXPECT_EQ(Captions(m.Yr, 3), i.year);
    EXPECT_EQ(m.Label1.Caption(), format == 1 ? "MIL" : i.ampm);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Turns, Tiers,
    ::testing::Values(
        // Second 0 of a new minute, just after midnight.
        Instant{{2009, 1, 1, 0, 0, 0},
                S{"59", "0", "1", "", ""},
                S{"58", "59", "0", "1", "2"},
                S{"22", "23", "0", "1", "2"},
                S{"10", "11", "12", "1", "2"},
                S{"30", "31", "1", "2", "3"},
                S{"Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
                S{"Dec", "Jan", "Feb", "Mar"},
                S{"2008", "2009", "2010"},
                "AM"},
        // Last second of a leap day, one pass before March.
        Instant{{2008, 2, 29, 23, 59, 59},
                S{"58", "59", "0", "", ""},
                S{"57", "58", "59", "0", "1"},
                S{"21", "22", "23", "0", "1"},
                S{"9", "10", "11", "12", "1"},
                S{"27", "28", "29", "1", "2"},
                S{"Wednesday", "Thursday", "Friday", "Saturday", "Sunday"},
                S{"Jan", "Feb", "Mar", "Apr"},
                S{"2007", "2008", "2009"},
                "PM"},
        // End of a 30-day month at noon.
        Instant{{2010, 4, 30, 12, 30, 15},
                S{"14", "15", "16", "", ""},
                S{"28", "29", "30", "31", "32"},
                S{"10", "11", "12", "13", "14"},
                S{"10", "11", "12", "1", "2"},
                S{"28", "29", "30", "1", "2"},
                S{"Wednesday", "Thursday", "Friday", "Saturday", "Sunday"},
                S{"Mar", "Apr", "May", "Jun"},
                S{"2009", "2010", "2011"},
                "PM"},
        // 31 March: a month back is February's last day, not an overflow into March.
        Instant{{2011, 3, 31, 13, 1, 2},
                S{"1", "2", "3", "", ""},
                S{"59", "0", "1", "2", "3"},
                S{"11", "12", "13", "14", "15"},
                S{"11", "12", "1", "2", "3"},
                S{"29", "30", "31", "1", "2"},
                S{"Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"},
                S{"Feb", "Mar", "Apr", "May"},
                S{"2010", "2011", "2012"},
                "PM"},
        // 28 February of a common year, 11 in the morning.
        Instant{{2011, 2, 28, 11, 59, 30},
                S{"29", "30", "31", "", ""},
                S{"57", "58", "59", "0", "1"},
                S{"9", "10", "11", "12", "13"},
                S{"9", "10", "11", "12", "1"},
                S{"26", "27", "28", "1", "2"},
                S{"Saturday", "Sunday", "Monday", "Tuesday", "Wednesday"},
                S{"Jan", "Feb", "Mar", "Apr"},
                S{"2010", "2011", "2012"},
                "AM"}));

struct Slide {
  DateTime at;
  F min, hours, day, weekday, month, year;
};

class Slides : public ::testing::TestWithParam<Slide> {};

TEST_P(Slides, CellsSlidePastTheAnchor) {
  const Slide& s = GetParam();
  Main m;
  m.UpdateTiers(s.at);
  EXPECT_EQ(Lefts(m.Min), s.min);
  EXPECT_EQ(Lefts(m.Hours), s.hours);
  EXPECT_EQ(Lefts(m.Daywk), s.day);
  EXPECT_EQ(Lefts(m.NumDay), s.weekday);
  EXPECT_EQ(Lefts(m.Mnth), s.month);
  EXPECT_EQ(Lefts(m.Yr), s.year);
}

INSTANTIATE_TEST_SUITE_P(
    Turns, Slides,
    ::testing::Values(
        // Midnight of 1 January: every slide at its start; the year's first day shifts 6.
        Slide{{2009, 1, 1, 0, 0, 0},
              F{1050, 1650, 2250, 2850, 3450},
              F{450, 1350, 2250, 3150, 4050},
              F{810, 1530, 2250, 2970, 3690},
              F{-630, 810, 2250, 3690, 5130},
              F{450 - 38.7f, 2250 - 38.7f, 4050 - 38.7f, 5850 - 38.7f},
              F{60 - 6, 2250 - 6, 4440 - 6}},
        // One second before midnight on 31 December of a leap year: the slides at their ends.
        Slide{{2008, 12, 31, 23, 59, 59},
              F{1050 - 590, 1650 - 590, 2250 - 590, 2850 - 590, 3450 - 590},
              F{450 - 885, 1350 - 885, 2250 - 885, 3150 - 885, 4050 - 885},
              F{810 - 719.5f, 1530 - 719.5f, 2250 - 719.5f, 2970 - 719.5f, 3690 - 719.5f},
              F{-630 - 1439, 810 - 1439, 2250 - 1439, 3690 - 1439, 5130 - 1439},
              F{static_cast<float>(450 - 31 * 38.7), static_cast<float>(2250 - 31 * 38.7),
                static_cast<float>(4050 - 31 * 38.7), static_cast<float>(5850 - 31 * 38.7)},
              F{60 - 2196, 2250 - 2196, 4440 - 2196}},
        // 29 February: February's step does not depend on the year.
        Slide{{2008, 2, 29, 12, 0, 30},
              F{1050 - 300, 1650 - 300, 2250 - 300, 2850 - 300, 3450 - 300},
              F{450, 1350, 2250, 3150, 4050},
              F{810 - 360, 1530 - 360, 2250 - 360, 2970 - 360, 3690 - 360},
              F{-630 - 720, 810 - 720, 2250 - 720, 3690 - 720, 5130 - 720},
              F{static_cast<float>(450 - 29 * 42.85), static_cast<float>(2250 - 29 * 42.85),
                static_cast<float>(4050 - 29 * 42.85), static_cast<float>(5850 - 29 * 42.85)},
              F{60 - 6 * 60, 2250 - 6 * 60, 4440 - 6 * 60}},
        // 31 December of a common year ends exactly on the mark.
        Slide{{2009, 12, 31, 0, 1, 0},
              F{1050, 1650, 2250, 2850, 3450},
              F{450 - 15, 1350 - 15, 2250 - 15, 3150 - 15, 4050 - 15},
              F{810 - 0.5f, 1530 - 0.5f, 2250 - 0.5f, 2970 - 0.5f, 3690 - 0.5f},
              F{-630 - 1, 810 - 1, 2250 - 1, 3690 - 1, 5130 - 1},
              F{static_cast<float>(450 - 31 * 38.7), static_cast<float>(2250 - 31 * 38.7),
                static_cast<float>(4050 - 31 * 38.7), static_cast<float>(5850 - 31 * 38.7)},
              F{60 - 2190, 2250 - 2190, 4440 - 2190}}));

TEST(TierTurns, NewCurrentCellStepsOntoTheAnchor) {
  Main m;
  // Minute turn: the cell that shows the new minute moves from 2260 to 2250.
  m.UpdateTiers({2010, 6, 15, 10, 20, 59});
  EXPECT_EQ(m.Min(3).Caption(), "21");
  EXPECT_FLOAT_EQ(m.Min(3).Left(), 2260);
  m.UpdateTiers({2010, 6, 15, 10, 21, 0});
  EXPECT_EQ(m.Min(2).Caption(), "21");
  EXPECT_FLOAT_EQ(m.Min(2).Left(), 2250);

  // Midnight: the new day from 2250.5 to 2250, the new weekday from 2251 to 2250.
  m.UpdateTiers({2010, 6, 15, 23, 59, 59});
  EXPECT_FLOAT_EQ(m.Daywk(3).Left(), 2250.5f);
  EXPECT_FLOAT_EQ(m.NumDay(3).Left(), 2251);
  m.UpdateTiers({2010, 6, 16, 0, 0, 0});
  EXPECT_EQ(m.Daywk(2).Caption(), "16");
  EXPECT_FLOAT_EQ(m.Daywk(2).Left(), 2250);
  EXPECT_FLOAT_EQ(m.NumDay(2).Left(), 2250);

  // Year turn after a leap year: the new year's cell stays 6 twips left of the mark.
  m.UpdateTiers({2008, 12, 31, 23, 59, 59});
  EXPECT_FLOAT_EQ(m.Yr(2).Left(), 4440 - 2196);
  m.UpdateTiers({2009, 1, 1, 0, 0, 0});
  EXPECT_EQ(m.Yr(1).Caption(), "2009");
  EXPECT_FLOAT_EQ(m.Yr(1).Left(), 2244);
}

TEST(TierTurns, MonthTierJumpsBecauseItsTravelIsNotItsWidth) {
  Main m;
  m.UpdateTiers({2010, 1, 31, 12, 0, 0});
  EXPECT_NEAR(m.MonthShift, 1199.7, 1e-9);
  m.UpdateTiers({2010, 2, 1, 12, 0, 0});
  EXPECT_NEAR(m.MonthShift, 42.85, 1e-9);
  m.UpdateTiers({2010, 2, 28, 12, 0, 0});
  EXPECT_NEAR(m.MonthShift, 1199.8, 1e-9);
  m.UpdateTiers({2010, 4, 30, 12, 0, 0});
  EXPECT_NEAR(m.MonthShift, 1200, 1e-9);
}

TEST(TierTurns, TwelveHourModeTouchesTheModeLabelOnlyWhenFormatIsZero) {
  Main m;
  m.Label1.SetCaption("MIL");
  FormatSetting = 5;  // not 1: 12-hour captions, but the label is left alone
  m.UpdateTiers({2010, 6, 15, 13, 0, 0});
  EXPECT_EQ(m.Hours(2).Caption(), "1");
  EXPECT_EQ(m.Label1.Caption(), "MIL");
  FormatSetting = 0;
  m.UpdateTiers({2010, 6, 15, 0, 0, 0});
  EXPECT_EQ(m.Hours(2).Caption(), "12");
  EXPECT_EQ(m.Label1.Caption(), "AM");
  m.UpdateTiers({2010, 6, 15, 12, 0, 0});
  EXPECT_EQ(m.Label1.Caption(), "PM");
}

TEST(TierTurns, SecondsTierNeverMovesAndItsLastTwoCellsStayEmpty) {
  Main m;
  std::vector<float> before = Lefts(m.Sec);
  m.UpdateTiers({2010, 6, 15, 13, 0, 59});
  EXPECT_EQ(Lefts(m.Sec), before);
  EXPECT_EQ(Captions(m.Sec, 5), (S{"58", "59", "0", "", ""}));
}

TEST(GetMulti, StepPerMonthComesToAbout1200Twips) {
  Main m;
  const double expected[13] = {0, 38.7, 42.85, 38.7, 40, 38.7, 40, 38.7, 38.7, 40, 38.7, 40, 38.7};
  for (int month = 1; month <= 12; ++month) {
    m.MonthNumber = month;
    m.GetMulti();
    EXPECT_DOUBLE_EQ(m.MonthStep, expected[month]) << "month " << month;
  }
  m.MonthNumber = 13;  // no row: the step stays as it was
  m.GetMulti();
  EXPECT_DOUBLE_EQ(m.MonthStep, 38.7);
}

TEST(GetMulti, RunsOnlyWhenTheDayNumberChanges) {
  Main m;
  m.UpdateTiers({2010, 1, 15, 12, 0, 0});
  EXPECT_DOUBLE_EQ(m.MonthStep, 38.7);
  // Same day number in another month: January's step stays until the day changes.
  m.UpdateTiers({2010, 4, 15, 12, 0, 0});
  EXPECT_DOUBLE_EQ(m.MonthStep, 38.7);
  m.UpdateTiers({2010, 4, 16, 12, 0, 0});
  EXPECT_DOUBLE_EQ(m.MonthStep, 40);
}

TEST(DateToJulian, TwoDigitYearThenDayOfYear) {
  struct Row {
    DateTime at;
    int julian;
  } rows[] = {
      {{2008, 2, 5, 9, 0, 0}, 8036},    {{2008, 12, 31, 0, 0, 0}, 8366},
      {{2009, 12, 31, 0, 0, 0}, 9365},  {{2000, 1, 1, 0, 0, 0}, 1},
      {{2026, 12, 8, 0, 0, 0}, 26342},  {{1999, 3, 1, 0, 0, 0}, 99060},
  };
  for (const Row& r : rows) {
    Main m;
    m.UpdateTiers(r.at);
    EXPECT_EQ(m.JulianDay, r.julian) << r.at.year << "-" << r.at.month << "-" << r.at.day;
  }
}

TEST(DateToJulian, UsesThePassReadingNotASecondReading) {
  // The platform clock has already moved on to the next year when the pass computes the day
  // number: the pass must still use its own reading.
  plat::null::World().now = {2009, 1, 1, 0, 0, 0};
  Main m;
  m.UpdateTiers({2008, 12, 31, 23, 59, 59});
  EXPECT_EQ(m.JulianDay, 8366);
  EXPECT_EQ(m.Yr(1).Caption(), "2008");
  EXPECT_EQ(m.Daywk(2).Caption(), "31");
}

TEST(DateToJulian, RunsWhenTheDateChangesEvenToTheSameDayNumber) {
  Main m;
  m.UpdateTiers({2010, 1, 15, 12, 0, 0});
  EXPECT_EQ(m.JulianDay, 10015);
  m.UpdateTiers({2010, 4, 15, 12, 0, 0});
  EXPECT_EQ(m.JulianDay, 10105);
}



}  // namespace

namespace {

plat::null::State& Null() { return plat::null::World(); }

// Loads the clock with a stored 24-hour format; the load step's own loop is stopped at its first
// pause, after which the test drives passes itself.
void LoadStopped(Main& m) {
  Null().hive.hive.Set(Null().hive.hive.Create("HKEY_CURRENT_USER\\Software\\Zorvane"),
                                "Format", {plat::kRegDword, {1, 0, 0, 0}});
  Null().endAfterWaits = 0;
  EXPECT_THROW(m.Load(), plat::null::ProgramEnded);
  Null().endAfterWaits = -1;
}

// Runs one pass of the loop at a given instant and counts what reached the display.
int PassTraffic(Main& m, const plat::DateTime& at) {
  Null().now = at;
  int before = Null().textSends + Null().boundsSends;
  m.TimeItPass();
  return Null().textSends + Null().boundsSends - before;
}

TEST(LoopPass, SendsOnlyRealChanges) {
  FormatSetting = 1;
  Main m;
  LoadStopped(m);
  EXPECT_GT(PassTraffic(m, {2010, 6, 15, 10, 20, 30}), 0);
  EXPECT_EQ(PassTraffic(m, {2010, 6, 15, 10, 20, 30}), 0);
  // Next second: three second captions; the minute tier moves 10 twips, which is less than a
  // pixel for some cells, so at most the five minute cells.
  int traffic = PassTraffic(m, {2010, 6, 15, 10, 20, 31});
  EXPECT_GE(traffic, 3);
  EXPECT_LE(traffic, 8);
}

TEST(LoopPass, ModeChangesShowInTheNextPassEvenWithinTheSameSecond) {
  FormatSetting = 1;
  Main m;
  LoadStopped(m);
  m.Label1.SetCaption("MIL");
  PassTraffic(m, {2010, 6, 15, 15, 0, 0});
  EXPECT_EQ(m.Hours(2).Caption(), "15");
  FormatSetting = 0;
  PassTraffic(m, {2010, 6, 15, 15, 0, 0});
  EXPECT_EQ(m.Hours(2).Caption(), "3");
  EXPECT_EQ(m.Label1.Caption(), "PM");
  // Someone writes the label (a switch to 24-hour and straight back) within the same second:
  // the next pass in 12-hour mode puts AM/PM back.
  m.Label1.SetCaption("MIL");
  PassTraffic(m, {2010, 6, 15, 15, 0, 0});
  EXPECT_EQ(m.Label1.Caption(), "PM");
}

}  // namespace
