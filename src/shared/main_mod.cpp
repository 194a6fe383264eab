#include "shared/main_mod.h"

std::string VersionNumber;
std::string VersionDate;
double ScreenWidth = 0;
double ScreenHeight = 0;
SettingValue FormatSetting;
SettingValue MarkSetting;
SettingValue PositionSetting;

// 2250 twips is half the triangle's 300-pixel base, 4500 all of it, 3400 its 225-pixel height
// plus 25 twips; all at 15 twips per pixel and deliberately not rescaled.
std::optional<ClockSpot> ClockSpotFor(const SettingValue& position, double sw, double sh) {
  if (position == 0) return ClockSpot{sw / 2 - 2250, sh / 2 - 1700};
  if (position == 1) return ClockSpot{0, 0};
  if (position == 2) return ClockSpot{sw / 2 - 2250, 0};
  if (position == 3) return ClockSpot{sw - 4500, 0};
  if (position == 4) return ClockSpot{0, sh - 3400};
  if (position == 5) return ClockSpot{sw / 2 - 2250, sh - 3400};
  if (position == 6) return ClockSpot{sw - 4500, sh - 3400};
  return std::nullopt;
}
