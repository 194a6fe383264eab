// The clock window without its start-up: loading it creates the native window and every label,
// but skips the load step (which would end in the never-returning update loop), so a benchmark
// can drive single tier updates by hand.
#pragma once
#include "clock/main_form.h"
#include "platform/app.h"
#include "platform/dates.h"
#include "shared/main_mod.h"

class BenchMain : public Main {
 protected:
  void Form_Load() override {
    // What the real load step leaves behind that the tier update looks at: 24-hour display
    // (the settings file the side-by-side run writes has Format = 1) and the window's size.
    FormatSetting = 1;
    Label1.SetCaption("MIL");
    SetCaption("Zorvane bench");
    SetWidth(800.0 * plat::TwipsPerPixelX());
    SetHeight(800.0 * plat::TwipsPerPixelY());
  }
};

// The clock readings the benchmarks alternate between.
namespace bench_times {
inline constexpr plat::DateTime kNoon{2008, 2, 5, 14, 5, 9};
inline constexpr plat::DateTime kNoonPlusOne{2008, 2, 5, 14, 5, 10};
// The last second of a year and the first of the next: every tier, years included, changes.
inline constexpr plat::DateTime kBeforeMidnight{2008, 12, 31, 23, 59, 59};
inline constexpr plat::DateTime kAfterMidnight{2009, 1, 1, 0, 0, 0};
}  // namespace bench_times
