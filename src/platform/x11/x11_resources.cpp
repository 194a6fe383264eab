// Xft.dpi, as GNOME, KDE and Xfce publish the desktop's scale. Plain string work, no Xlib, so
// the unit tests take it without a display.
#include "platform/x11/x11_resources.h"

#include <cmath>
#include <locale>
#include <optional>
#include <sstream>
#include <string>

namespace plat::x11 {

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

}  // namespace plat::x11
