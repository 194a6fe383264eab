#include "platform/common/monitors.h"

namespace plat {

std::optional<PixelRect> PrimaryMonitor(const std::vector<MonitorInfo>& monitors) {
  for (const MonitorInfo& m : monitors)
    if (m.primary && m.rect.w > 0 && m.rect.h > 0) return m.rect;
  for (const MonitorInfo& m : monitors)
    if (m.rect.x <= 0 && m.rect.y <= 0 && m.rect.x + m.rect.w > 0 && m.rect.y + m.rect.h > 0)
      return m.rect;
  return std::nullopt;
}

}  // namespace plat
