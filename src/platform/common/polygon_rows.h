// Which pixels a filled polygon covers: a pixel belongs when its centre lies inside, with left
// edges inclusive and right edges exclusive (alternate fill). Used to cut windows to a region
// exactly, where the X server's own polygon regions leave edge pixels out.
#pragma once
#include <vector>

#include "platform/common/scale.h"
#include "platform/region.h"

namespace plat {

struct PixelSpan {
  int y, x, width;  // one run of pixels on row y
  bool operator==(const PixelSpan&) const = default;
};

std::vector<PixelSpan> PolygonSpans(const std::vector<Point>& points);

// A polygon given in logical pixels, its corners mapped to the device and the pixel rule run
// again there, so its edges are as sharp as the device's pixels.
std::vector<PixelSpan> DeviceSpans(std::vector<Point> logical, const DisplayScale& scale);

}  // namespace plat
