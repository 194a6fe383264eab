// The local time and the locale's weekday and month names.
#include <windows.h>

#include <string>

#include "platform/dates.h"
#include "platform/win32/win32_text.h"

namespace plat {

DateTime LocalNow() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond};
}

namespace {
// The user's locale names, looked up once each.
std::string LocaleName(LCTYPE type) {
  wchar_t buf[128];
  int n = GetLocaleInfoW(LOCALE_USER_DEFAULT, type, buf, 128);
  return n > 1 ? win32::Utf8(std::wstring(buf, size_t(n - 1))) : std::string();
}
}  // namespace

std::string WeekdayName(int weekday, bool abbreviate) {
  static std::string cache[2][7];
  // LOCALE_SDAYNAME1 is Monday; weekday 1 is Sunday.
  const int index = ((weekday + 5) % 7 + 7) % 7;
  std::string& slot = cache[abbreviate][index];
  if (slot.empty())
    slot = LocaleName((abbreviate ? LOCALE_SABBREVDAYNAME1 : LOCALE_SDAYNAME1) + LCTYPE(index));
  return slot;
}

std::string MonthName(int month, bool abbreviate) {
  static std::string cache[2][12];
  const int index = ((month - 1) % 12 + 12) % 12;
  std::string& slot = cache[abbreviate][index];
  if (slot.empty())
    slot = LocaleName((abbreviate ? LOCALE_SABBREVMONTHNAME1 : LOCALE_SMONTHNAME1) + LCTYPE(index));
  return slot;
}

}  // namespace plat
