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

// Screen size in twips, taken once at start-up.
extern double ScreenWidth;
extern double ScreenHeight;

extern SettingValue FormatSetting;    // 1 = 24-hour display
extern SettingValue MarkSetting;      // 1 = alignment mark shown
extern SettingValue PositionSetting;  // 0-6, screen spot

struct ClockSpot {
  double left;  // outer window position, twips
  double top;
  bool operator==(const ClockSpot&) const = default;
};

// Where a Position puts the clock, from the recorded screen size; nothing for a value that is
// none of 0-6 (missing counts as 0, the centre).
std::optional<ClockSpot> ClockSpotFor(const SettingValue& position, double screenWidth,
                                      double screenHeight);

// The clock's triangle, standing on its base, in pixels from the window's outer corner: the
// window is cut to it, and a clock is on a monitor when one of its pixels is.
const std::vector<plat::Point>& ClockTriangle();
// The box it stands in (300 x 225): what must fit the primary monitor.
int ClockTriangleWidth();
int ClockTriangleHeight();

// A pixel of the clock's triangle (the pixels its window region has, row by row), the window's
// outer corner at (left, top) twips, lies on one of the monitors.
bool ClockOnAnyMonitor(double left, double top, const std::vector<plat::MonitorRect>& monitors);
