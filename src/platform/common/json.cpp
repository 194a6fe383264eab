#include "platform/common/json.h"

#include <cstdlib>

#include "platform/common/utf8.h"

namespace plat {
namespace {

constexpr int kMaxDepth = 64;

class Reader {
 public:
  explicit Reader(std::string_view s) : s_(s) {}

  std::optional<Json> Document() {
    std::optional<Json> v = Value(0);
    Blanks();
    if (!v || at_ != s_.size()) return std::nullopt;
    return v;
  }

 private:
  void Blanks() {
    while (at_ < s_.size() && (s_[at_] == ' ' || s_[at_] == '\t' || s_[at_] == '\n' || s_[at_] == '\r'))
      ++at_;
  }
  bool Take(char c) {
    Blanks();
    if (at_ < s_.size() && s_[at_] == c) return ++at_, true;
    return false;
  }
  bool Word(std::string_view w) {
    if (s_.substr(at_, w.size()) != w) return false;
    at_ += w.size();
    return true;
  }

  std::optional<Json> Value(int depth) {
    if (depth > kMaxDepth) return std::nullopt;
    Blanks();
    if (at_ >= s_.size()) return std::nullopt;
    Json v;
    const char c = s_[at_];
    if (c == '{') return Object(depth);
    if (c == '[') return Array(depth);
    if (c == '"') {
      v.kind = Json::Kind::Text;
      if (!Text(v.text)) return std::nullopt;
    } else if (Word("true") || Word("false")) {
      v.kind = Json::Kind::Bool;
      v.boolean = s_[at_ - 1] == 'e' && s_[at_ - 2] == 'u';
    } else if (Word("null")) {
    } else {
      v.kind = Json::Kind::Number;
      if (!Number(v.number)) return std::nullopt;
    }
    return v;
  }

  std::optional<Json> Object(int depth) {
    Json v;
    v.kind = Json::Kind::Object;
    ++at_;
    if (Take('}')) return v;
    do {
      std::string name;
      Blanks();
      if (at_ >= s_.size() || s_[at_] != '"' || !Text(name) || !Take(':')) return std::nullopt;
      std::optional<Json> member = Value(depth + 1);
      if (!member) return std::nullopt;
      v.members.emplace_back(std::move(name), std::move(*member));
    } while (Take(','));
    if (!Take('}')) return std::nullopt;
    return v;
  }

  std::optional<Json> Array(int depth) {
    Json v;
    v.kind = Json::Kind::Array;
    ++at_;
    if (Take(']')) return v;
    do {
      std::optional<Json> item = Value(depth + 1);
      if (!item) return std::nullopt;
      v.items.push_back(std::move(*item));
    } while (Take(','));
    if (!Take(']')) return std::nullopt;
    return v;
  }

  bool Number(double& out) {
    const size_t from = at_;
    while (at_ < s_.size() && std::string_view("+-0123456789.eE").find(s_[at_]) != std::string_view::npos)
      ++at_;
    if (at_ == from) return false;
    const std::string digits(s_.substr(from, at_ - from));
    char* end = nullptr;
    out = std::strtod(digits.c_str(), &end);
    return end == digits.c_str() + digits.size();
  }

  int Hex4() {
    if (at_ + 4 > s_.size()) return -1;
    int v = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = s_[at_++];
      const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) return -1;
      v = v * 16 + d;
    }
    return v;
  }

  bool Text(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < s_.size()) {
      const char c = s_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= s_.size()) return false;
      const char e = s_[at_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          long cp = Hex4();
          if (cp < 0) return false;
          if (cp >= 0xD800 && cp < 0xDC00) {  // a surrogate pair, or nothing
            const int low = Word("\\u") ? Hex4() : -1;
            if (low < 0xDC00 || low >= 0xE000) return false;
            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
          } else if (cp >= 0xDC00 && cp < 0xE000) {
            return false;
          }
          out += EncodeUtf8(std::u32string(1, char32_t(cp)));
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  std::string_view s_;
  size_t at_ = 0;
};

}  // namespace

const Json* Json::Find(std::string_view name) const {
  for (const auto& [n, v] : members)
    if (n == name) return &v;
  return nullptr;
}

std::optional<double> Json::NumberAt(std::string_view name) const {
  const Json* v = Find(name);
  if (!v || v->kind != Kind::Number) return std::nullopt;
  return v->number;
}

bool Json::IsTrue(std::string_view name) const {
  const Json* v = Find(name);
  return v && v->kind == Kind::Bool && v->boolean;
}

std::optional<Json> ParseJson(std::string_view text) { return Reader(text).Document(); }

}  // namespace plat
