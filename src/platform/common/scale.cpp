#include "platform/common/scale.h"

#include <algorithm>
#include <cmath>
#include <locale>
#include <optional>
#include <sstream>
#include <string>

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

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A resource's value as a decimal number ("144", "144.0", ".5"), blanks around it allowed;
// nothing for anything else. strtod alone would also take "0x120" (288) and the 144 of "144abc".
std::optional<double> DecimalValue(std::string_view value) {
  while (!value.empty() && IsBlank(value.front())) value.remove_prefix(1);
  while (!value.empty() && IsBlank(value.back())) value.remove_suffix(1);
  std::size_t digits = 0, point = 0;
  for (char c : value) {
    if (IsDigit(c)) ++digits;
    else if (c == '.' && point == 0) ++point;
    else return std::nullopt;
  }
  if (digits == 0) return std::nullopt;
  // Only digits and one point now: the C locale's strtod reads all of it, whatever the
  // program's locale says a decimal point is.
  const std::string text(value);
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double v = 0;
  in >> v;
  return v;
}

}  // namespace

DisplayScale ScaleFromResources(std::string_view resources) {
  // One "name:\tvalue" per line; the last setting of a name wins, as in Xrm.
  double dpi = 0;
  size_t start = 0;
  while (start < resources.size()) {
    size_t end = resources.find('\n', start);
    if (end == std::string_view::npos) end = resources.size();
    std::string_view line = resources.substr(start, end - start);
    start = end + 1;
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, colon);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    if (name != "Xft.dpi" && name != "*dpi" && name != "Xft*dpi") continue;
    const std::optional<double> v = DecimalValue(line.substr(colon + 1));
    if (v && std::isfinite(*v) && *v > 0) dpi = *v;
  }
  return DisplayScale(dpi > 0 ? dpi / 96.0 : 1.0);
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
