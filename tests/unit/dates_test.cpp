// Calendar arithmetic and the date patterns the clock formats with.
#include <gtest/gtest.h>

#include "platform/dates.h"

namespace {

using plat::DateTime;

TEST(Dates, PatternsTable) {
  const DateTime t{2008, 2, 5, 14, 5, 9};  // a Tuesday
  struct Row {
    const char* pattern;
    const char* text;
  } rows[] = {
      {"ss", "09"},     {"hhmm", "1405"},         {"nnss", "0509"},   {"NNSS", "0509"},
      {"d", "5"},       {"dd", "05"},             {"dddd", "Tuesday"}, {"ddd", "Tue"},
      {"m", "2"},       {"mm", "02"},             {"mmm", "Feb"},     {"mmmm", "February"},
      {"yyyy", "2008"}, {"ddmmyyyy", "05022008"}, {"yy", "08"},       {"h:nn", "14:05"},
  };
  for (const Row& r : rows) EXPECT_EQ(plat::FormatDate(t, r.pattern), r.text) << r.pattern;
}

TEST(Dates, NumberPatterns) {
  EXPECT_EQ(plat::FormatNumber(8, "00"), "08");
  EXPECT_EQ(plat::FormatNumber(36, "000"), "036");
  EXPECT_EQ(plat::FormatNumber(366, "00"), "366");
  EXPECT_EQ(plat::FormatNumber(0, "000"), "000");
}

TEST(Dates, SerialRoundTripAndWeekdays) {
  EXPECT_EQ(plat::DateSerial(1899, 12, 30).serial, 0);
  EXPECT_EQ(plat::DateSerial(2008, 2, 5).serial, 39483);
  EXPECT_EQ(plat::WeekdayOf(plat::DateSerial(2008, 2, 5)), 3);   // Tuesday
  EXPECT_EQ(plat::WeekdayOf(plat::DateSerial(2026, 12, 8)), 3);  // Tuesday
  EXPECT_EQ(plat::WeekdayOf(plat::DateSerial(1899, 12, 30)), 7);
  for (int serial = -800000; serial < 800000; serial += 997) {
    plat::Date d{serial};
    EXPECT_EQ(plat::DateOf(plat::ToDateTime(d)).serial, serial);
  }
}

TEST(Dates, AddingMonthsClampsToTheMonthEnd) {
  struct Row {
    DateTime from;
    int months;
    DateTime to;
  } rows[] = {
      {{2011, 3, 31}, -1, {2011, 2, 28}}, {{2008, 3, 31}, -1, {2008, 2, 29}},
      {{2008, 1, 31}, 1, {2008, 2, 29}},  {{2008, 12, 15}, 1, {2009, 1, 15}},
      {{2009, 1, 15}, -1, {2008, 12, 15}}, {{2010, 8, 31}, 2, {2010, 10, 31}},
      {{2010, 5, 31}, -25, {2008, 4, 30}},
  };
  for (const Row& r : rows) {
    DateTime got = plat::ToDateTime(plat::AddMonths(plat::DateOf(r.from), r.months));
    EXPECT_EQ(got, r.to) << r.from.year << "-" << r.from.month << "-" << r.from.day << " "
                         << r.months;
  }
}

TEST(Dates, DaysBetweenAndOverflowingSerials) {
  EXPECT_EQ(plat::DaysBetween(plat::DateSerial(2008, 1, 1), plat::DateSerial(2008, 12, 31)), 365);
  EXPECT_EQ(plat::DaysBetween(plat::DateSerial(2009, 1, 1), plat::DateSerial(2009, 12, 31)), 364);
  EXPECT_EQ(plat::DateSerial(2008, 13, 1), plat::DateSerial(2009, 1, 1));
  EXPECT_EQ(plat::DateSerial(2008, 3, 0), plat::DateSerial(2008, 2, 29));
  EXPECT_EQ(plat::DateSerial(2008, 0, 1), plat::DateSerial(2007, 12, 1));
  EXPECT_EQ(plat::DaysInMonth(1900, 2), 28);
  EXPECT_EQ(plat::DaysInMonth(2000, 2), 29);
}

}  // namespace
