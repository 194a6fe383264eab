#include "clock/main_form.h"

#include "instance/mod_is_it_running.h"
#include "platform/app.h"
#include "platform/region.h"
#include "settings/mdl_registry.h"
#include "shared/assets.h"
#include "shared/main_mod.h"

namespace {

constexpr const char* kGreeting =
    "Welcome to Zorvane. To change to Standard from Military, Dbl Click on the MIL. To add an "
    "Alignment Mark "
    "Dbl Click on the Dark Brown Line above the MIL. You can also Right Click on the clock for a "
    "setup. "
    "Dbl Click on the clock to close. Use the Blue Point on top or the Setup to move clock.";

struct Tier {
  plat::ControlArray<plat::Label>& cells;
  float top, width;
  std::initializer_list<float> lefts;
  double points;
};

}  // namespace

Main::Main() : plat::Form("Main", plat::FormStyle::FixedSingle) {
  LayOut();
  WireHandlers();
}

void Main::LayOut() {
  BackColor = ClockBackColor;
  Icon = {kZorvaneIco, kZorvaneIcoSize};
  // Where the window shows before it is placed; a Position outside 0-6 leaves it here.
  Move(1920, 1440);
  SetWidth(4800 + 90);
  SetHeight(4300 + 330 + 45);

  const Tier tiers[] = {
      {Sec, 480, 495, {1500, 1980, 2460, 1020, 2940}, 12},
      {Min, 840, 600, {780, 1380, 1980, 2580, 3180}, 12},
      {Hours, 1200, 900, {0, 900, 1800, 2700, 3600}, 12},
      {Daywk, 1560, 720, {780, 1500, 2220, 2940, 3660}, 12},
      {NumDay, 1920, 1440, {-660, 780, 2220, 3660, 5100}, 11.25},
      {Mnth, 2280, 1800, {420, 2220, 4020, 5820}, 12},
      {Yr, 2640, 2190, {60, 2220, 4380}, 12},
  };
  for (const Tier& t : tiers) {
    int k = 0;
    for (float left : t.lefts) {
      plat::Label& cell = t.cells(k++);
      cell.Move(left, t.top, t.width, 330);
      cell.BackColor = ClockBackColor;
      cell.ForeColor = ClockInkColor;
      cell.Font = {"Tahoma", t.points, true};
      cell.Border = true;
      cell.TextAlign = plat::Alignment::Center;
    }
  }
  for (int k = 0; k < 5; ++k) {
    NumDay(k).SetCaption("10");
    Daywk(k).SetCaption("10");
  }
  for (int k = 0; k < 4; ++k) Mnth(k).SetCaption("10");

  for (plat::Label* l : {&Label1, &Label2, &Label3}) {
    l->BackColor = ClockBackColor;
    l->ForeColor = ClockInkColor;
    l->Font = {"Times New Roman", 12, true};
    l->TextAlign = plat::Alignment::Center;
  }
  Label1.Move(60, 180, 4395, 255);
  Label2.Move(60, 80, 5835, 75);
  Label2.BackColor = ClockInkColor;  // a solid dark-brown bar
  Label3.Move(1740, 0, 1155, 70);

  struct Rule {
    plat::Line& line;
    float x1, y, x2;
    int width;
  };
  const Rule rules[] = {
      {Line8, 0, 465, 6360, 3},     {Line7, -60, 825, 6300, 3},   {Line6, 0, 1185, 6360, 3},
      {Line5, -120, 1545, 6240, 3}, {Line4, -180, 1905, 6180, 3}, {Line3, 0, 2265, 6360, 3},
      {Line2, -60, 2625, 6300, 3},  {Line10, -120, 3000, 7200, 12},
  };
  for (const Rule& r : rules) {
    r.line.Set(r.x1, r.y, r.x2, r.y, r.width);
    r.line.BorderColor = ClockInkColor;
  }
  Line1.Set(2250, 840, 2250, 3900, 2);
  Line1.BorderColor = ClockInkColor;
  Line1.SetVisible(false);
}

void Main::Form_Load() {
  VersionNumber = kVersionNumber;
  VersionDate = kVersionDate;

  // The lock catches a copy started in the same instant, before either has its caption.
  if (IsItRunning(kProductName) != 0 || !ClaimInstanceLock(kProductName)) {
    plat::MsgBox("Zorvane is already Running");
    plat::EndProgram(0);
  }

  SetCaption(kProductName);
  MeasureScreen(plat::Monitors());

  FormatSetting = ReadSetting("Format");
  if (FormatSetting.IsMissingOrEmpty()) {
    plat::MsgBox(kGreeting);
    FormatSetting = 1;
    CreateSettingsKey(SettingsRoot, SettingsKey);
    WriteSetting("Format", FormatSetting);
  }

  MarkSetting = ReadSetting("Mark");
  ShowMark();
  ShowDisplayMode();

  SetWidth(800.0 * plat::TwipsPerPixelX());
  SetHeight(800.0 * plat::TwipsPerPixelY());

  const std::vector<plat::Point>& triangle = ClockTriangle();
  plat::RegionHandle region =
      plat::CreatePolygonRgn(triangle.data(), int(triangle.size()), plat::kAlternate);
  plat::SetWindowRgn(hWnd(), region, true);

  Show();
  PositionSetting = ReadSetting("Position");
  PlaceClock(PositionSetting);
  TimeIt();
}

// In 12-hour display the update loop writes "AM" or "PM" on its next pass.
void Main::ShowDisplayMode() {
  if (FormatSetting == 1) Label1.SetCaption("MIL");
}

void Main::ShowMark() { Line1.SetVisible(MarkSetting == 1); }

// A placement asked for (the start, Setup's Apply) ends any hold on an earlier place: a
// manager's move after a display change is no longer put back there.
void Main::PlaceClock(const SettingValue& position) {
  putBacks_ = 0;
  PlaceOn(position, plat::Monitors());
}

void Main::PlaceOn(const SettingValue& position, const std::vector<plat::Monitor>& monitors) {
  MeasureScreen(monitors);
  if (!monitors.empty()) primaryCorner_ = {monitors.front().whole.left, monitors.front().whole.top};
  const std::optional<ClockSpot> spot =
      ClockSpotFor(position, {ScreenLeft, ScreenTop, ScreenWidth, ScreenHeight});
  atSpot_ = spot.has_value();
  if (spot) Move(spot->left, spot->top);
  else KeepUserPlace();  // it stays where it was shown
}

// Kept from the primary monitor's corner: when a monitor beside it goes, the corner moves in the
// screen's coordinates, and a clock on the primary monitor stays where it was on it.
void Main::KeepUserPlace() {
  userPlace_ = {Left() - primaryCorner_.left, Top() - primaryCorner_.top};
}

void Main::Form_DisplayChange() {
  const std::vector<plat::Monitor> monitors = plat::Monitors();
  if (monitors.empty()) return;
  const ClockSpot corner{monitors.front().whole.left, monitors.front().whole.top};
  const ClockSpot place{corner.left + userPlace_.left, corner.top + userPlace_.top};
  if (!atSpot_ && ClockReachable(place.left, place.top, monitors)) {
    primaryCorner_ = corner;
    MoveAfterDisplayChange(place);
    return;
  }
  // A Position that places nowhere would leave the clock out of sight: the centre then.
  const bool places = ClockSpotFor(PositionSetting, {}).has_value();
  PlaceOn(places ? PositionSetting : SettingValue(), monitors);
  MoveAfterDisplayChange({Left(), Top()});
}

// Window managers move windows of their own accord when monitors change (mutter moves one off a
// monitor that went away to a proportional place on another): for a moment such a move is put
// back, a few times at most, so that a manager that insists is not fought for ever.
void Main::MoveAfterDisplayChange(const ClockSpot& place) {
  Move(place.left, place.top);
  held_ = place;
  putBacks_ = 3;
  holdUntil_ = std::chrono::steady_clock::now() + std::chrono::seconds(2);
}

void Main::Form_Moved(bool byUser) {
  if (byUser) {
    atSpot_ = false;
    KeepUserPlace();
    putBacks_ = 0;
    return;
  }
  const bool elsewhere = plat::TwipsToPixelsX(Left()) != plat::TwipsToPixelsX(held_.left) ||
                         plat::TwipsToPixelsY(Top()) != plat::TwipsToPixelsY(held_.top);
  if (!elsewhere || putBacks_ <= 0 || std::chrono::steady_clock::now() > holdUntil_) return;
  --putBacks_;
  Move(held_.left, held_.top);
}

void Main::QueryUnload() { plat::EndProgram(0); }
