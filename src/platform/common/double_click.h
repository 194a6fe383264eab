// When a second press makes a double-click: the same button on the same control, within 500 ms
// and 4 pixels of the first. Press times are the X server's milliseconds, which wrap at 2^32.
#pragma once
#include <cstdint>

namespace plat {

struct Press {
  std::uintptr_t window = 0;
  unsigned button = 0;
  std::uint32_t time = 0;  // ms
  int x = 0, y = 0;        // screen pixels
};

inline constexpr std::uint32_t kDoubleClickMs = 500;
inline constexpr int kDoubleClickPixels = 4;

constexpr bool IsDoubleClick(const Press& first, const Press& second) {
  const int dx = second.x - first.x, dy = second.y - first.y;
  // Unsigned difference: right across the wrap, and a "later" press stamped earlier fails.
  return first.window == second.window && first.button == second.button &&
         std::uint32_t(second.time - first.time) <= kDoubleClickMs &&
         (dx < 0 ? -dx : dx) <= kDoubleClickPixels && (dy < 0 ? -dy : dy) <= kDoubleClickPixels;
}

}  // namespace plat
