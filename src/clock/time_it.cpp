#include <cstdlib>
#include <string>

#include "clock/main_form.h"
#include "platform/app.h"
#include "platform/wait.h"
#include "shared/main_mod.h"
#include "timing/timing.h"

namespace {

// Left of cell k of a sliding tier whose current cell is c.
float SlideLeft(int k, int c, double width, double slide) {
  return static_cast<float>(kAnchor + (k - c) * width - slide);
}

int HourCaption(int hour24, bool twentyFour) {
  if (twentyFour) return hour24;
  if (hour24 == 0) return 12;
  return hour24 > 12 ? hour24 - 12 : hour24;
}

}  // namespace

void Main::TimeIt() {
  for (;;) TimeItPass();
}

void Main::TimeItPass() {
  const plat::DateTime now = plat::LocalNow();
  // Every caption and position follows from the reading, the display mode and, in 12-hour
  // mode, the mode label: a pass in the same second with all three unchanged would set each of
  // them to the value it already holds. Skip that work.
  const auto madeFromNow = [&] {
    return passKey_ && passKey_->now == now && passKey_->format == FormatSetting &&
           passKey_->label1 == Label1.Caption();
  };
  if (!madeFromNow()) {
    UpdateTiers(now);
    passKey_ = PassKey{now, FormatSetting, Label1.Caption()};
  }
  plat::DoEvents();
  // The tiers now stay right until the clock reads another second, unless a handler that just
  // ran switched the display mode: then the short pause brings the next pass at once.
  if (madeFromNow()) plat::HintNextChange(now);
  WaitFor(1);
}

void Main::UpdateTiers(const plat::DateTime& now) {
  // One reading for the whole pass: separate readings could straddle a minute or midnight.
  tickTime_ = now;

  std::string hhmm = plat::FormatDate(now, "hhmm");
  SecNow = std::atoi(plat::FormatDate(now, "ss").c_str());
  HourNow = std::atoi(hhmm.substr(0, 2).c_str());
  MinNow = std::atoi(hhmm.substr(2, 2).c_str());
  MinShift = 10 * SecNow;

  Sec(0).SetCaption(std::to_string((SecNow + 59) % 60));
  Sec(1).SetCaption(std::to_string(SecNow));
  Sec(2).SetCaption(std::to_string((SecNow + 1) % 60));

  for (int k = 0; k < 5; ++k) {
    Min(k).SetLeft(SlideLeft(k, 2, 600, MinShift));
    Min(k).SetCaption(std::to_string((MinNow + k - 2 + 60) % 60));
  }

  HourShift = 15 * MinNow;
  bool twentyFour = FormatSetting == 1;
  for (int k = 0; k < 5; ++k) {
    Hours(k).SetLeft(SlideLeft(k, 2, 900, HourShift));
    Hours(k).SetCaption(std::to_string(HourCaption((HourNow + k - 2 + 24) % 24, twentyFour)));
  }
  if (FormatSetting == 0) Label1.SetCaption(HourNow > 11 ? "PM" : "AM");

  DayMinutes = MinNow + 60 * HourNow;
  const plat::Date today = plat::DateOf(now);
  for (int k = 0; k < 5; ++k) {
    plat::DateTime day = plat::ToDateTime(plat::AddDays(today, k - 2));
    Daywk(k).SetCaption(plat::FormatDate(day, "d"));
    Daywk(k).SetLeft(SlideLeft(k, 2, 720, 0.5 * DayMinutes));
  }
  for (int k = 0; k < 5; ++k) {
    plat::DateTime day = plat::ToDateTime(plat::AddDays(today, k - 2));
    NumDay(k).SetCaption(plat::FormatDate(day, "dddd"));
    NumDay(k).SetLeft(SlideLeft(k, 2, 1440, DayMinutes));
  }

  DayBefore = DayNow;
  DayNow = plat::FormatDate(now, "d");
  MonthNumber = std::atof(plat::FormatDate(now, "m").c_str());
  if (DayBefore != DayNow) GetMulti();
  MonthShift = std::atof(DayNow.c_str()) * MonthStep;

  for (int k = 0; k < 4; ++k) {
    plat::DateTime month = plat::ToDateTime(plat::AddMonths(today, k - 1));
    Mnth(k).SetCaption(plat::FormatDate(month, "mmm"));
    Mnth(k).SetLeft(SlideLeft(k, 1, 1800, MonthShift));
  }

  DateBefore = DateNow;
  DateNow = today;
  if (DateBefore != DateNow) DateToJulian();
  YearShift = 6 * (JulianDay % 1000);

  int y = std::atoi(plat::FormatDate(now, "yyyy").c_str());
  for (int k = 0; k < 3; ++k) {
    Yr(k).SetCaption(std::to_string(y + k - 1));
    Yr(k).SetLeft(SlideLeft(k, 1, 2190, YearShift));
  }
}

// Twips per day of the month: about 1200 twips a month; February always counts 28 days.
void Main::GetMulti() {
  int m = static_cast<int>(MonthNumber);
  switch (m) {
    case 1: case 3: case 5: case 7: case 8: case 10: case 12: MonthStep = 38.7; break;
    case 4: case 6: case 9: case 11: MonthStep = 40; break;
    case 2: MonthStep = 42.85; break;
    default: break;
  }
}

// Two-digit year x 1000 + day of the year, from this pass's reading: 5 Feb 2008 gives 8036.
void Main::DateToJulian() {
  std::string ddmmyyyy = plat::FormatDate(tickTime_, "ddmmyyyy");
  if (ddmmyyyy.size() < 8) return;
  int yy = std::atoi(ddmmyyyy.substr(6, 2).c_str());
  int year = std::atoi(ddmmyyyy.substr(4, 4).c_str());
  int dayOfYear = plat::DaysBetween(plat::DateSerial(year, 1, 1), plat::DateOf(tickTime_)) + 1;
  std::string text = plat::FormatNumber(yy, "00") + plat::FormatNumber(dayOfYear, "000");
  JulianDay = static_cast<std::int32_t>(std::atol(text.c_str()));
}
