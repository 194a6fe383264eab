// The clock window: a triangle of seven tiers of cells (seconds at the top, years at the base),
// its start-up and its never-ending update loop.
#pragma once
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/dates.h"
#include "platform/forms.h"
#include "shared/main_mod.h"
#include "shared/setting_value.h"

class Main : public plat::Form {
 public:
  Main();

  // The placement rule: moves the window to the spot of a Position 0-6 on the screen as it is
  // now (ScreenLeft/Top/Width/Height are measured first); anything else moves nothing.
  void PlaceClock(const SettingValue& position);
  // The two display steps the settings drive: "MIL" on the mode label in 24-hour display,
  // and the alignment mark shown when Mark is on.
  void ShowDisplayMode();
  void ShowMark();

  // Runs the update loop; never returns.
  [[noreturn]] void TimeIt();
  // One pass of the loop: every tier from one reading of the clock, then messages, then a pause.
  void TimeItPass();
  // Steps of a pass that set captions and positions, from the given reading.
  void UpdateTiers(const plat::DateTime& now);
  void GetMulti();
  void DateToJulian();

  // Pointer actions. A double-click on the background, the apex strip or any tier ends the
  // program; on the mode label it switches 24/12-hour display, on the dark bar the mark. A
  // right-button release on the mode label or a tier opens the Setup dialog.
  void Form_DblClick();
  void Label1_DblClick();
  void Label2_DblClick();
  void Label3_DblClick();
  void Label1_MouseUp(int Button, int Shift, float X, float Y);
  void Tier_DblClick(int Index);
  void Tier_MouseUp(int Index, int Button, int Shift, float X, float Y);

  // The seven tiers, from the tip down.
  plat::ControlArray<plat::Label> Sec{*this, "Sec", 5};        // seconds (stands still)
  plat::ControlArray<plat::Label> Min{*this, "Min", 5};        // minutes
  plat::ControlArray<plat::Label> Hours{*this, "Hours", 5};    // hours
  plat::ControlArray<plat::Label> Daywk{*this, "Daywk", 5};    // day of the month
  plat::ControlArray<plat::Label> NumDay{*this, "NumDay", 5};  // weekday
  plat::ControlArray<plat::Label> Mnth{*this, "Mnth", 4};      // month
  plat::ControlArray<plat::Label> Yr{*this, "Yr", 3};          // year
  plat::Label Label1{*this, "Label1"};  // mode label: "MIL", "AM" or "PM"
  plat::Label Label2{*this, "Label2"};  // the dark-brown bar above it: switches the mark
  plat::Label Label3{*this, "Label3"};  // thin strip at the tip
  // Rules between the tiers, from the top; Line10 is the thick base.
  plat::Line Line8{*this, "Line8"};
  plat::Line Line7{*this, "Line7"};
  plat::Line Line6{*this, "Line6"};
  plat::Line Line5{*this, "Line5"};
  plat::Line Line4{*this, "Line4"};
  plat::Line Line3{*this, "Line3"};
  plat::Line Line2{*this, "Line2"};
  plat::Line Line10{*this, "Line10"};
  plat::Line Line1{*this, "Line1"};  // the alignment mark on the centre line

  // Loop state, kept for the whole run.
  int SecNow = 0, MinNow = 0, HourNow = 0;
  int MinShift = 0, HourShift = 0, DayMinutes = 0;
  std::string DayNow, DayBefore;
  double MonthNumber = 0, MonthStep = 0, MonthShift = 0;
  std::optional<plat::Date> DateNow, DateBefore;
  std::int32_t JulianDay = 0;
  int YearShift = 0;

 protected:
  void Form_Load() override;
  // Closing the clock by the window manager's means ends the program, as a double-click does.
  void QueryUnload() override;
  // Monitors or their work areas changed (X11 and Windows both say so). A clock standing at its
  // spot moves to where that spot is now. A dragged one stays where the user put it, unless its
  // tip or top tier is no longer wholly on a monitor: then it goes to its spot (the centre for a
  // Position that places nowhere). Whatever the window manager did with it meanwhile.
  void Form_DisplayChange() override;
  // A drag by the user sets the clock's place; a move by the window manager shortly after a
  // display change is undone, so the rule above decides where the clock stands.
  void Form_Moved(bool byUser) override;

 private:
  void LayOut();
  void WireHandlers();
  plat::DateTime tickTime_;  // the one clock reading every value of a pass comes from
  struct PassKey {
    plat::DateTime now;
    SettingValue format;
    std::string label1;
  };
  std::optional<PassKey> passKey_;  // what the last pass's tiers were made from

  void PlaceOn(const SettingValue& position, const std::vector<plat::Monitor>& monitors);
  void KeepUserPlace();
  void MoveAfterDisplayChange(const ClockSpot& place);
  bool atSpot_ = false;  // placed by the rule, not dragged since
  // Where it was shown or dragged to, when not at its spot: twips from the primary monitor's
  // corner, which stood at primaryCorner_ when last measured.
  ClockSpot userPlace_{}, primaryCorner_{};
  // Where the last display change put it, and until when a move from outside is put back.
  ClockSpot held_{};
  int putBacks_ = 0;
  std::chrono::steady_clock::time_point holdUntil_{};
};

// The anchor every sliding tier's current cell passes, twips from the client's left edge.
inline constexpr double kAnchor = 2250;
