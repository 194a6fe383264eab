// A small JSON reader for the answers of a desktop's command socket (sway's): values as a tree,
// text as UTF-8 bytes. Input is another program's, so nesting is limited and anything malformed
// gives nothing.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plat {

struct Json {
  enum class Kind { Null, Bool, Number, Text, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0;
  std::string text;
  std::vector<Json> items;                            // an array's
  std::vector<std::pair<std::string, Json>> members;  // an object's, in order

  // An object's member of that name, or null.
  const Json* Find(std::string_view name) const;
  // The number of that member, if it is one.
  std::optional<double> NumberAt(std::string_view name) const;
  bool IsTrue(std::string_view name) const;  // the member is the literal true
};

std::optional<Json> ParseJson(std::string_view text);

}  // namespace plat
