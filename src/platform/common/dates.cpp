#include "platform/dates.h"

#include <algorithm>
#include <charconv>

namespace plat {
namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's civil-days algorithm).
long DaysFromCivil(long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(static_cast<long>(yoe) + era * 400 + (m <= 2));
}

// 1899-12-30 is day 0 of the serial.
constexpr long kSerialEpoch = -25569;

// Zero-padded decimal; formatted by hand because the pause names its timer with it 64 times a
// second and printf's machinery showed in profiles.
std::string Number(long v, int width) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, v < 0 ? -v : v);
  (void)ec;
  const int n = static_cast<int>(end - digits);
  std::string out;
  if (v < 0) out += '-';
  if (width > n + (v < 0)) out.append(static_cast<size_t>(width - n - (v < 0)), '0');
  out.append(digits, end);
  return out;
}

}  // namespace

bool IsLeapYear(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[(month - 1) % 12];
}

Date DateSerial(int year, int month, int day) {
  // Months outside 1-12 carry into the year; days outside the month carry by plain day counting.
  long m0 = static_cast<long>(month) - 1;
  long y = year + (m0 >= 0 ? m0 / 12 : (m0 - 11) / 12);
  long m = ((m0 % 12) + 12) % 12 + 1;
  long days = DaysFromCivil(y, static_cast<unsigned>(m), 1) + (day - 1);
  return Date{static_cast<std::int32_t>(days - kSerialEpoch)};
}

Date DateOf(const DateTime& t) { return DateSerial(t.year, t.month, t.day); }

DateTime ToDateTime(Date d) {
  DateTime t;
  CivilFromDays(d.serial + kSerialEpoch, t.year, t.month, t.day);
  return t;
}

Date AddDays(Date d, int days) { return Date{d.serial + days}; }

Date AddMonths(Date d, int months) {
  DateTime t = ToDateTime(d);
  long m0 = static_cast<long>(t.month) - 1 + months;
  int y = static_cast<int>(t.year + (m0 >= 0 ? m0 / 12 : (m0 - 11) / 12));
  int m = static_cast<int>(((m0 % 12) + 12) % 12 + 1);
  return DateSerial(y, m, std::min(t.day, DaysInMonth(y, m)));
}

int DaysBetween(Date from, Date to) { return to.serial - from.serial; }

int WeekdayOf(Date d) {
  // Serial day 0 (30 Dec 1899) was a Saturday (7).
  int r = static_cast<int>(((d.serial % 7) + 7) % 7);
  return (r + 6) % 7 + 1;
}

std::string FormatDate(const DateTime& t, std::string_view p) {
  std::string out;
  bool afterHour = false;  // "m" right after an hour token means minutes, as in "hhmm"
  size_t i = 0;
  while (i < p.size()) {
    char c = static_cast<char>(p[i] | 0x20);
    size_t n = 1;
    while (i + n < p.size() && static_cast<char>(p[i + n] | 0x20) == c) ++n;
    bool hour = false;
    switch (c) {
      case 'd':
        if (n >= 4) out += WeekdayName(WeekdayOf(DateOf(t)), false);
        else if (n == 3) out += WeekdayName(WeekdayOf(DateOf(t)), true);
        else out += Number(t.day, static_cast<int>(n));
        break;
      case 'm':
        if (afterHour && n <= 2) out += Number(t.minute, static_cast<int>(n));
        else if (n >= 4) out += MonthName(t.month, false);
        else if (n == 3) out += MonthName(t.month, true);
        else out += Number(t.month, static_cast<int>(n));
        break;
      case 'n': out += Number(t.minute, n >= 2 ? 2 : 1); break;
      case 's': out += Number(t.second, n >= 2 ? 2 : 1); break;
      case 'h':
        out += Number(t.hour, n >= 2 ? 2 : 1);
        hour = true;
        break;
      case 'y':
        out += n >= 3 ? Number(t.year, 4) : Number(t.year % 100, 2);
        break;
      default:
        out.append(p.substr(i, n));
        break;
    }
    afterHour = hour;
    i += n;
  }
  return out;
}

std::string FormatNumber(long value, std::string_view pattern) {
  return Number(value, static_cast<int>(std::count(pattern.begin(), pattern.end(), '0')));
}

}  // namespace plat
