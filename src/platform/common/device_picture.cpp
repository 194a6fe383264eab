#include "platform/common/device_picture.h"

#include <algorithm>

namespace plat {

std::vector<std::uint32_t> PictureAtDevice(const Image& img, const DisplayScale& scale, int deviceW,
                                           int deviceH, const SeeThrough* seeThrough, int screenX,
                                           int screenY, std::vector<bool>* holes) {
  std::vector<std::uint32_t> out(size_t(std::max(0, deviceW)) * size_t(std::max(0, deviceH)));
  if (holes) holes->assign(out.size(), false);
  if (img.width <= 0 || img.height <= 0) return out;
  // Which logical column each device column falls in, worked out once per picture.
  std::vector<int> column(size_t(std::max(0, deviceW)));
  for (int x = 0; x < deviceW; ++x) column[size_t(x)] = std::clamp(scale.ToLogical(x), 0, img.width - 1);
  for (int y = 0; y < deviceH; ++y) {
    const int ly = std::clamp(scale.ToLogical(y), 0, img.height - 1);
    std::uint32_t* row = out.data() + size_t(y) * size_t(deviceW);
    for (int x = 0; x < deviceW; ++x) {
      const int lx = column[size_t(x)];
      const int sx = screenX + x, sy = screenY + y;
      const bool through = seeThrough && seeThrough->Shows(img, lx, ly);
      if (through && seeThrough->screen.Contains(sx, sy)) {
        row[x] = seeThrough->screen.At(sx, sy);
        continue;
      }
      row[x] = img.At(lx, ly) & 0xFFFFFF;
      if (through && holes) (*holes)[size_t(y) * size_t(deviceW) + size_t(x)] = true;
    }
  }
  return out;
}

}  // namespace plat
