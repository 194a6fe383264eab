#include "platform/common/hive.h"

#include "platform/registry.h"

#include <cstddef>
#include <cstdio>
#include <set>
#include <string_view>

namespace plat {
namespace {

constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

unsigned char LowerAscii(unsigned char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (LowerAscii(static_cast<unsigned char>(s[i])) !=
        LowerAscii(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

using ValueIt = std::map<std::string, RegValue, CaseLess>::const_iterator;

// Values in the order they go to a file: valueOrder first, then anything it does not list, so a
// hive assembled by hand still writes (and compares) every value exactly once.
std::vector<ValueIt> OrderedValues(const HiveKey& key) {
  std::vector<ValueIt> out;
  std::set<std::string, CaseLess> seen;
  for (const std::string& name : key.valueOrder) {
    auto it = key.values.find(name);
    if (it != key.values.end() && seen.insert(it->first).second) out.push_back(it);
  }
  for (auto it = key.values.begin(); it != key.values.end(); ++it) {
    if (seen.insert(it->first).second) out.push_back(it);
  }
  return out;
}

const std::string& PathOf(const std::pair<const std::string, HiveKey>& entry) {
  return entry.second.path.empty() ? entry.first : entry.second.path;
}

bool SameKey(const std::pair<const std::string, HiveKey>& a,
             const std::pair<const std::string, HiveKey>& b) {
  if (PathOf(a) != PathOf(b) || a.second.values != b.second.values) return false;
  std::vector<ValueIt> orderA = OrderedValues(a.second);
  std::vector<ValueIt> orderB = OrderedValues(b.second);
  for (std::size_t i = 0; i < orderA.size(); ++i) {
    if (orderA[i]->first != orderB[i]->first) return false;
  }
  return true;
}

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

// A quoted string starting at s[pos] == '"'; only \\ and \" are escapes. On success pos is just
// past the closing quote.
bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out, const char** why) {
  out.clear();
  for (std::size_t i = pos + 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == '"') {
      pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) {
        *why = i + 1 >= s.size() ? "unterminated string" : "unknown escape in string";
        return false;
      }
      c = s[++i];
    }
    out.push_back(c);
  }
  *why = "unterminated string";
  return false;
}

// "aa,bb,cc" with exactly two hex digits per byte; blanks around bytes are allowed.
bool ParseHexList(std::string_view list, std::vector<std::uint8_t>& out) {
  out.clear();
  list = Trim(list);
  if (list.empty()) return true;
  while (true) {
    std::size_t comma = list.find(',');
    std::string_view byte = Trim(list.substr(0, comma));
    if (byte.size() != 2) return false;
    int hi = HexDigit(byte[0]);
    int lo = HexDigit(byte[1]);
    if (hi < 0 || lo < 0) return false;
    out.push_back(static_cast<std::uint8_t>(hi * 16 + lo));
    if (comma == std::string_view::npos) return true;
    list.remove_prefix(comma + 1);
  }
}

std::optional<Hive> Fail(std::string* error, std::size_t line, const std::string& why) {
  if (error) *error = "line " + std::to_string(line) + ": " + why;
  return std::nullopt;
}

std::string Escape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// True when the data can be written as "text": one terminating 0 and nothing that would break
// the line.
bool IsPlainString(const std::vector<std::uint8_t>& data) {
  if (data.empty() || data.back() != 0) return false;
  for (std::size_t i = 0; i + 1 < data.size(); ++i) {
    if (data[i] == 0 || data[i] == '\n' || data[i] == '\r') return false;
  }
  return true;
}

std::string FormatData(const RegValue& v) {
  char buf[32];
  if (v.type == kRegSz && IsPlainString(v.data)) {
    return "\"" + Escape(std::string_view(reinterpret_cast<const char*>(v.data.data()),
                                          v.data.size() - 1)) +
           "\"";
  }
  if (v.type == kRegDword && v.data.size() == 4) {
    std::uint32_t n = static_cast<std::uint32_t>(v.data[0]) |
                      static_cast<std::uint32_t>(v.data[1]) << 8 |
                      static_cast<std::uint32_t>(v.data[2]) << 16 |
                      static_cast<std::uint32_t>(v.data[3]) << 24;
    std::snprintf(buf, sizeof buf, "dword:%08x", static_cast<unsigned>(n));
    return buf;
  }
  std::string out;
  if (v.type == kRegBinary) {
    out = "hex:";
  } else {
    std::snprintf(buf, sizeof buf, "hex(%x):", static_cast<unsigned>(v.type));
    out = buf;
  }
  for (std::size_t i = 0; i < v.data.size(); ++i) {
    std::snprintf(buf, sizeof buf, i == 0 ? "%02x" : ",%02x", static_cast<unsigned>(v.data[i]));
    out += buf;
  }
  return out;
}

}  // namespace

bool CaseLess::operator()(const std::string& a, const std::string& b) const {
  std::size_t n = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < n; ++i) {
    unsigned char ca = LowerAscii(static_cast<unsigned char>(a[i]));
    unsigned char cb = LowerAscii(static_cast<unsigned char>(b[i]));
    if (ca != cb) return ca < cb;
  }
  return a.size() < b.size();
}

bool Hive::operator==(const Hive& o) const {
  if (keys.size() != o.keys.size()) return false;
  for (auto a = keys.begin(), b = o.keys.begin(); a != keys.end(); ++a, ++b) {
    if (!SameKey(*a, *b)) return false;
  }
  return true;
}

HiveKey* Hive::Find(const std::string& path) {
  auto it = keys.find(path);
  return it == keys.end() ? nullptr : &it->second;
}

HiveKey& Hive::Create(const std::string& path) {
  auto [it, inserted] = keys.try_emplace(path);
  if (inserted) it->second.path = path;
  return it->second;
}

void Hive::Set(HiveKey& key, const std::string& name, RegValue v) {
  auto it = key.values.find(name);
  if (it != key.values.end()) {
    it->second = std::move(v);
    return;
  }
  key.values.emplace(name, std::move(v));
  key.valueOrder.push_back(name);
}

std::string RootName(std::uint64_t root) {
  switch (root) {
    case 0x80000000u: return "HKEY_CLASSES_ROOT";
    case 0x80000001u: return "HKEY_CURRENT_USER";
    case 0x80000002u: return "HKEY_LOCAL_MACHINE";
    case 0x80000003u: return "HKEY_USERS";
    default: return {};
  }
}

std::optional<Hive> ParseRegFile(const std::string& text, std::string* error) {
  std::string_view body = text;
  if (body.substr(0, kUtf8Bom.size()) == kUtf8Bom) body.remove_prefix(kUtf8Bom.size());
  std::vector<std::string_view> lines = SplitLines(body);

  Hive hive;
  HiveKey* current = nullptr;
  bool sawHeader = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t lineNo = i + 1;
    std::string_view line = Trim(lines[i]);
    if (!sawHeader) {
      if (line.empty()) continue;
      if (lines[i] != kRegHeader) {
        return Fail(error, lineNo, "expected \"" + std::string(kRegHeader) + "\"");
      }
      sawHeader = true;
      continue;
    }
    if (line.empty() || line.front() == ';') continue;

    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3) return Fail(error, lineNo, "bad key line");
      std::string_view path = line.substr(1, line.size() - 2);
      if (path.front() == '-') return Fail(error, lineNo, "key deletion is not supported");
      current = &hive.Create(std::string(path));
      continue;
    }
    if (line.front() != '"' && line.front() != '@') return Fail(error, lineNo, "unexpected line");
    if (!current) return Fail(error, lineNo, "value before any key");

    std::string name;  // "@" is the default value, named ""
    std::size_t pos = 0;
    const char* why = nullptr;
    if (line.front() == '@') {
      pos = 1;
    } else if (!ParseQuoted(line, pos, name, &why)) {
      return Fail(error, lineNo, std::string(why) + " in value name");
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return Fail(error, lineNo, "missing '='");
    std::string_view rest = Trim(line.substr(pos + 1));

    RegValue value;
    if (rest.empty()) return Fail(error, lineNo, "missing value");
    if (rest == "-") return Fail(error, lineNo, "value deletion is not supported");
    if (rest.front() == '"') {
      std::string s;
      std::size_t end = 0;
      if (!ParseQuoted(rest, end, s, &why)) return Fail(error, lineNo, why);
      if (end != rest.size()) return Fail(error, lineNo, "text after closing quote");
      value.type = kRegSz;
      value.data.assign(s.begin(), s.end());
      value.data.push_back(0);
    } else if (StartsWithNoCase(rest, "dword:")) {
      std::string_view digits = rest.substr(6);
      if (digits.size() != 8) return Fail(error, lineNo, "dword needs exactly 8 hex digits");
      std::uint32_t n = 0;
      for (char c : digits) {
        int d = HexDigit(c);
        if (d < 0) return Fail(error, lineNo, "bad hex digit in dword");
        n = n << 4 | static_cast<std::uint32_t>(d);
      }
      value.type = kRegDword;
      value.data = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                    static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
    } else if (StartsWithNoCase(rest, "hex")) {
      std::size_t p = 3;
      value.type = kRegBinary;
      if (p < rest.size() && rest[p] == '(') {
        std::size_t close = rest.find(')', p);
        std::string_view digits =
            close == std::string_view::npos ? std::string_view() : rest.substr(p + 1, close - p - 1);
        if (digits.empty() || digits.size() > 8) return Fail(error, lineNo, "bad hex(type)");
        value.type = 0;
        for (char c : digits) {
          int d = HexDigit(c);
          if (d < 0) return Fail(error, lineNo, "bad hex(type)");
          value.type = value.type << 4 | static_cast<std::uint32_t>(d);
        }
        p = close + 1;
      }
      if (p >= rest.size() || rest[p] != ':') return Fail(error, lineNo, "unknown value form");
      // Long lists go on over lines that end in a backslash.
      std::string list(rest.substr(p + 1));
      while (!list.empty() && list.back() == '\\') {
        list.pop_back();
        if (i + 1 >= lines.size()) return Fail(error, i + 1, "hex list continues past end of file");
        list += Trim(lines[++i]);
      }
      if (!ParseHexList(list, value.data)) return Fail(error, lineNo, "bad hex byte");
    } else {
      return Fail(error, lineNo, "unknown value form");
    }
    hive.Set(*current, name, std::move(value));
  }
  if (!sawHeader) return Fail(error, lines.size() + 1, "missing header line");
  return hive;
}

std::string FormatRegFile(const Hive& hive) {
  std::string out(kRegHeader);
  out += "\n\n";
  for (const auto& entry : hive.keys) {
    out += "[" + PathOf(entry) + "]\n";
    for (ValueIt it : OrderedValues(entry.second)) {
      out += it->first.empty() ? std::string("@") : "\"" + Escape(it->first) + "\"";
      out += "=" + FormatData(it->second) + "\n";
    }
    out += "\n";
  }
  return out;
}

}  // namespace plat
