// Program-wide globals, colours and the placement rule shared by the clock and its Setup dialog.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "maker.h"
#include "platform/app.h"
#include "platform/forms.h"
#include "platform/region.h"
#include "shared/setting_value.h"

inline constexpr const char* kProductName = "Zorvane";
// Shown in the About credits and by --version.
inline constexpr const char* kVersionNumber = "1.00";
inline constexpr const char* kVersionDate = "28 Nov 2007";
// The build's ZORVANE_HOMEPAGE and ZORVANE_CONTACT. Setup and the credits must show an address,
// so until those are set they show ones under the reserved example.org domain.
inline constexpr const char* kMakerWebAddress =
    ZORVANE_HOMEPAGE[0] ? ZORVANE_HOMEPAGE : "https://zorvane.example.org/";
inline constexpr const char* kSupportEmail =
    ZORVANE_CONTACT[0] ? ZORVANE_CONTACT : "support@zorvane.example.org";

inline constexpr plat::Color ClockBackColor = plat::Rgb(189, 183, 149);
inline constexpr plat::Color ClockInkColor = plat::Rgb(81, 64, 6);

extern std::string VersionNumber;
extern std::string VersionDate;

// The screen the spots are measured from, twips: the primary monitor's work area (what panels,
// docks and the taskbar leave), measured afresh at every placement, so a screen that changed
// since start-up never puts the clock out of sight.
extern double ScreenLeft;
extern double ScreenTop;
extern double ScreenWidth;
extern double ScreenHeight;
// Takes the primary monitor's work area as it is now into the four globals above.
void MeasureScreen(const std::vector<plat::Monitor>& monitors);

extern SettingValue FormatSetting;    // 1 = 24-hour display
extern SettingValue MarkSetting;      // 1 = alignment mark shown
extern SettingValue PositionSetting;  // 0-6, screen spot

struct ClockSpot {
  double left;  // outer window position, twips
  double top;
  bool operator==(const ClockSpot&) const = default;
};

// Where a Position puts the clock on a screen (a work area whose corner is not always the
// origin); nothing for a value that is none of 0-6 (missing counts as 0, the centre).
std::optional<ClockSpot> ClockSpotFor(const SettingValue& position, const plat::MonitorRect& screen);

// The clock's triangle, standing on its base, in pixels from the window's outer corner: the
// window is cut to it, and a clock is on a monitor when one of its pixels is.
const std::vector<plat::Point>& ClockTriangle();
// The box it stands in (300 x 225): what must fit the primary monitor.
int ClockTriangleWidth();
int ClockTriangleHeight();

// Whether a clock whose window's outer corner is at (left, top) twips can still be reached: every
// pixel of its tip and of its top tier (the seconds), which the user drags it by, lies on one of
// the monitors.
bool ClockReachable(double left, double top, const std::vector<plat::Monitor>& monitors);

// Where a window of width x height twips at (left, top) stands whole on the screen: moved as
// little as needed into the work area of the monitor it overlaps most (the primary one where it
// overlaps none). A window larger than that work area keeps its top-left corner inside it.
ClockSpot KeptOnScreen(double left, double top, double width, double height,
                       const std::vector<plat::Monitor>& monitors);
// The same for a form, moved there.
void KeepOnScreen(plat::Form& form);
