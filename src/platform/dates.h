// Dates and times of day: the local clock, calendar arithmetic and the formatting patterns the
// program uses ("ss", "hhmm", "nnss", "d", "dddd", "m", "mmm", "yyyy", "ddmmyyyy"; "00", "000").
// Names of weekdays and months come from the user's locale.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace plat {

// A calendar date as a day count; day 0 is 30 December 1899, as in the Windows date serial.
struct Date {
  std::int32_t serial = 0;
  auto operator<=>(const Date&) const = default;
};

// One reading of the local clock.
struct DateTime {
  int year = 1900, month = 1, day = 1;     // month 1-12, day 1-31
  int hour = 0, minute = 0, second = 0;    // 24-hour clock
  bool operator==(const DateTime&) const = default;
};

// The local date and time, read once.
DateTime LocalNow();

// Locale names. weekday: 1 = Sunday ... 7 = Saturday; month 1-12.
std::string WeekdayName(int weekday, bool abbreviate);
std::string MonthName(int month, bool abbreviate);

Date DateSerial(int year, int month, int day);  // month and day may overflow, as DateSerial does
Date DateOf(const DateTime& t);
DateTime ToDateTime(Date d);                    // midnight of that day
Date AddDays(Date d, int days);
// Same day of another month, clamped to that month's last day (31 March - 1 month = 28/29 Feb).
Date AddMonths(Date d, int months);
int DaysBetween(Date from, Date to);             // to - from
int WeekdayOf(Date d);                           // 1 = Sunday
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Date patterns, tokens: d dd ddd dddd, m mm mmm mmmm (minutes right after an h token), n nn
// (minutes), s ss, h hh, yy yyyy. Other characters are copied.
std::string FormatDate(const DateTime& t, std::string_view pattern);
// Number patterns of zeros: FormatNumber(8, "00") = "08"; longer numbers are not cut.
std::string FormatNumber(long value, std::string_view pattern);

}  // namespace plat
