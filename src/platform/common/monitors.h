// Which monitor is the program's screen, from the list the window system reports.
#pragma once
#include <optional>
#include <vector>

#include "platform/forms.h"

namespace plat {

struct MonitorInfo {
  PixelRect rect;  // in the window system's own (root) coordinates
  bool primary = false;
};

// The monitor marked primary; where none is, the one holding the origin (0,0); nothing where
// no monitor qualifies (the caller then uses the whole screen).
std::optional<PixelRect> PrimaryMonitor(const std::vector<MonitorInfo>& monitors);

}  // namespace plat
