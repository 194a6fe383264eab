// A setting as read from the store: missing, a signed 32-bit number, or a text.
// Missing equals 0 and equals the empty text; a number equals the same number; a text equals a
// number when it reads as exactly that decimal number ("1" == 1, "x" != 0).
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

class SettingValue {
 public:
  SettingValue() = default;
  SettingValue(std::int32_t number) : v_(number) {}  // NOLINT: a number is a setting
  explicit SettingValue(std::string text) : v_(std::move(text)) {}

  bool IsMissing() const { return std::holds_alternative<std::monostate>(v_); }
  bool IsNumber() const { return std::holds_alternative<std::int32_t>(v_); }
  bool IsText() const { return std::holds_alternative<std::string>(v_); }
  // Missing or "": what a first start finds.
  bool IsMissingOrEmpty() const;
  // The number this value stands for when written as a 32-bit number (missing and non-numeric
  // texts write as 0).
  std::int32_t ToNumber() const;
  std::string ToText() const;

  bool operator==(long number) const;
  bool operator==(std::string_view text) const;
  bool operator==(const SettingValue&) const = default;

 private:
  std::optional<long> NumericValue() const;
  std::variant<std::monostate, std::int32_t, std::string> v_;
};
