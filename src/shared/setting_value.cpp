#include "shared/setting_value.h"

#include <cerrno>
#include <cstdlib>

bool SettingValue::IsMissingOrEmpty() const {
  return IsMissing() || (IsText() && std::get<std::string>(v_).empty());
}

std::optional<long> SettingValue::NumericValue() const {
  if (IsMissing()) return 0;
  if (IsNumber()) return std::get<std::int32_t>(v_);
  const std::string& s = std::get<std::string>(v_);
  size_t b = s.find_first_not_of(" \t"), e = s.find_last_not_of(" \t");
  if (b == std::string::npos) return std::nullopt;
  std::string t = s.substr(b, e - b + 1);
  errno = 0;
  char* end = nullptr;
  long n = std::strtol(t.c_str(), &end, 10);
  if (errno != 0 || end == t.c_str() || *end != '\0') return std::nullopt;
  return n;
}

std::int32_t SettingValue::ToNumber() const {
  auto n = NumericValue();
  return n ? static_cast<std::int32_t>(*n) : 0;
}

std::string SettingValue::ToText() const {
  if (IsText()) return std::get<std::string>(v_);
  if (IsNumber()) return std::to_string(std::get<std::int32_t>(v_));
  return {};
}

bool SettingValue::operator==(long number) const {
  auto n = NumericValue();
  return n && *n == number;
}

bool SettingValue::operator==(std::string_view text) const {
  if (IsMissing()) return text.empty();
  return ToText() == text;
}
