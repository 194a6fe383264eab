#include "platform/common/scale.h"

#include <algorithm>
#include <cmath>

namespace plat {

DisplayScale::DisplayScale(double factor) {
  // 8 is 768 dpi; past that the value is a typo, not a screen.
  factor_ = std::isfinite(factor) && factor > 1.0 ? std::min(factor, 8.0) : 1.0;
}

int DisplayScale::ToDevice(int logical) const {
  if (IsOne()) return logical;
  return static_cast<int>(std::floor(logical * factor_ + 0.5));
}

int DisplayScale::ToLogical(int device) const {
  if (IsOne()) return device;
  // The largest x with ToDevice(x) <= device, i.e. x * f + 0.5 < device + 1.
  int x = static_cast<int>(std::ceil((device + 0.5) / factor_)) - 1;
  // Guard against the division landing a hair off an exact edge.
  while (ToDevice(x + 1) <= device) ++x;
  while (ToDevice(x) > device) --x;
  return x;
}

PixelRect DisplayScale::ToDevice(const PixelRect& r) const {
  const int x0 = ToDevice(r.x), y0 = ToDevice(r.y);
  return {x0, y0, ToDevice(r.x + r.w) - x0, ToDevice(r.y + r.h) - y0};
}

int DisplayScale::Length(int logical) const {
  const int n = ToDevice(logical);
  return logical > 0 && n < 1 ? 1 : n;
}

int FontPixels(double points, const DisplayScale& scale) {
  return static_cast<int>(std::lround(points * 96.0 / 72.0 * scale.Factor()));
}

DisplayScale FitScale(const DisplayScale& scale, int w, int h, int areaW, int areaH) {
  auto fits = [&](const DisplayScale& s) { return s.ToDevice(w) <= areaW && s.ToDevice(h) <= areaH; };
  if (w <= 0 || h <= 0 || fits(scale)) return scale;
  DisplayScale fit(std::min(double(areaW) / w, double(areaH) / h));
  // The quotient can land a hair past an edge that then rounds up by one device pixel.
  while (!fit.IsOne() && !fits(fit)) fit = DisplayScale(std::nextafter(fit.Factor(), 0.0));
  return fit;
}

}  // namespace plat
