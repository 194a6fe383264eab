// The .reg text form of a hive: reading files as regedit writes them, writing fresh ones, and
// changing a few values in a file while leaving every other byte of it alone.
#include <cstddef>
#include <cstdio>
#include <string_view>

#include "platform/common/utf8.h"
#include "platform/emulated/hive.h"
#include "platform/registry.h"

namespace plat {
namespace {

constexpr std::string_view kRegHeader = "Windows Registry Editor Version 5.00";
constexpr std::string_view kRegedit4Header = "REGEDIT4";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

enum class Encoding { kUtf8, kUtf8Bom, kUtf16Le };

// UTF-16LE code units to UTF-8. A lone surrogate keeps its own three-byte form, so that
// Utf8ToUtf16 gives back exactly the units it came from. false for an odd number of bytes.
bool Utf16ToUtf8(std::string_view in, std::string& out) {
  if (in.size() % 2) return false;
  out.clear();
  out.reserve(in.size() / 2);
  auto unit = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(in[i + 1])) << 8;
  };
  for (std::size_t i = 0; i < in.size(); i += 2) {
    std::uint32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < in.size()) {
      std::uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | c >> 6));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | c >> 12));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | c >> 18));
      out.push_back(static_cast<char>(0x80 | (c >> 12 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return true;
}

// The inverse of Utf16ToUtf8. A byte that starts no valid sequence stands for itself (as
// Latin-1), so any text can be written.
std::string Utf8ToUtf16(std::string_view in) {
  std::string out;
  out.reserve(in.size() * 2);
  auto put = [&](std::uint32_t u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  for (std::size_t i = 0; i < in.size();) {
    const Utf8Char ch = Utf8At(in, i, /*surrogates=*/true);
    if (ch.code >= 0x10000) {
      const std::uint32_t u = ch.code - 0x10000;
      put(0xD800 + (u >> 10));
      put(0xDC00 + (u & 0x3FF));
    } else {
      put(ch.code);
    }
    i += ch.length;
  }
  return out;
}

struct Line {
  std::string text;  // without its line end
  std::string_view eol;  // "\n", "\r\n" or "" for a last line without one (literals only)
};

struct ValueSpan {
  std::string key, name;
  std::size_t first, count;  // the line and its continuation lines
};

struct Section {
  std::string key;
  std::size_t header, end;  // [header, end): the key line up to the next one
  std::size_t insertAt;     // just after its last value line
};

// A parsed file with where everything in it stands.
struct Layout {
  Encoding encoding = Encoding::kUtf8;
  std::vector<Line> lines;
  std::vector<ValueSpan> values;
  std::vector<Section> sections;
  std::string_view eol = "\n";  // the file's own line end, for lines we add
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

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

bool SameName(const std::string& a, const std::string& b) {
  CaseLess less;
  return !less(a, b) && !less(b, a);
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Decodes the file and cuts it into lines, each with its own line end.
bool SplitFile(const std::string& bytes, Layout& layout) {
  std::string decoded;
  std::string_view text = bytes;
  if (text.substr(0, kUtf16LeBom.size()) == kUtf16LeBom) {
    if (!Utf16ToUtf8(text.substr(kUtf16LeBom.size()), decoded)) return false;
    layout.encoding = Encoding::kUtf16Le;
    layout.eol = "\r\n";
    text = decoded;
  } else if (text.substr(0, kUtf8Bom.size()) == kUtf8Bom) {
    layout.encoding = Encoding::kUtf8Bom;
    text.remove_prefix(kUtf8Bom.size());
  }
  bool eolSeen = false;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    Line line;
    line.text = text.substr(0, end);
    if (end != std::string_view::npos) {
      line.eol = "\n";
      if (!line.text.empty() && line.text.back() == '\r') {
        line.text.pop_back();
        line.eol = "\r\n";
      }
      if (!eolSeen) layout.eol = line.eol;
      eolSeen = true;
    }
    layout.lines.push_back(std::move(line));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return true;
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

constexpr const char* kPastEnd = "hex list continues past end of file";

// The data after "=": a string, a dword or a hex list, which may go on over lines ending in a
// backslash (i is moved to the last of them). nullptr on success, else why not.
const char* ParseData(const std::vector<Line>& lines, std::size_t& i, std::string_view rest,
                      RegValue& value) {
  const char* why = nullptr;
  if (rest.empty()) return "missing value";
  if (rest == "-") return "value deletion is not supported";
  if (rest.front() == '"') {
    std::string s;
    std::size_t end = 0;
    if (!ParseQuoted(rest, end, s, &why)) return why;
    if (end != rest.size()) return "text after closing quote";
    value.type = kRegSz;
    value.data.assign(s.begin(), s.end());
    value.data.push_back(0);
    return nullptr;
  }
  if (StartsWithNoCase(rest, "dword:")) {
    std::string_view digits = rest.substr(6);
    if (digits.size() != 8) return "dword needs exactly 8 hex digits";
    std::uint32_t n = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) return "bad hex digit in dword";
      n = n << 4 | static_cast<std::uint32_t>(d);
    }
    value.type = kRegDword;
    value.data = {static_cast<std::uint8_t>(n), static_cast<std::uint8_t>(n >> 8),
                  static_cast<std::uint8_t>(n >> 16), static_cast<std::uint8_t>(n >> 24)};
    return nullptr;
  }
  if (!StartsWithNoCase(rest, "hex")) return "unknown value form";
  std::size_t p = 3;
  value.type = kRegBinary;
  if (p < rest.size() && rest[p] == '(') {
    std::size_t close = rest.find(')', p);
    std::string_view digits =
        close == std::string_view::npos ? std::string_view() : rest.substr(p + 1, close - p - 1);
    if (digits.empty() || digits.size() > 8) return "bad hex(type)";
    value.type = 0;
    for (char c : digits) {
      int d = HexDigit(c);
      if (d < 0) return "bad hex(type)";
      value.type = value.type << 4 | static_cast<std::uint32_t>(d);
    }
    p = close + 1;
  }
  if (p >= rest.size() || rest[p] != ':') return "unknown value form";
  std::string list(rest.substr(p + 1));
  while (!list.empty() && list.back() == '\\') {
    list.pop_back();
    if (i + 1 >= lines.size()) {
      ++i;
      return kPastEnd;
    }
    list += Trim(lines[++i].text);
  }
  if (!ParseHexList(list, value.data)) return "bad hex byte";
  return nullptr;
}

std::optional<Hive> Parse(const std::string& bytes, Layout& layout, std::string* error) {
  if (!SplitFile(bytes, layout)) return Fail(error, 1, "UTF-16 text of an odd number of bytes");
  const std::vector<Line>& lines = layout.lines;
  Hive hive;
  HiveKey* current = nullptr;
  bool sawHeader = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::size_t lineNo = i + 1;
    std::string_view line = Trim(lines[i].text);
    if (!sawHeader) {
      if (line.empty()) continue;
      if (lines[i].text != kRegHeader && lines[i].text != kRegedit4Header) {
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
      if (!layout.sections.empty()) layout.sections.back().end = i;
      layout.sections.push_back({std::string(path), i, lines.size(), i + 1});
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

    RegValue value;
    const std::size_t first = i;
    if (const char* bad = ParseData(lines, i, Trim(line.substr(pos + 1)), value)) {
      return Fail(error, bad == kPastEnd ? i : lineNo, bad);
    }
    layout.values.push_back({layout.sections.back().key, name, first, i - first + 1});
    layout.sections.back().insertAt = i + 1;
    hive.Set(*current, name, std::move(value));
  }
  if (!sawHeader) return Fail(error, lines.size() + 1, "missing header line");
  return hive;
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

// Escaped and in double quotes. Built by appending: GCC 12 warns (-Wrestrict, wrongly) about
// the inlined copies of `"\"" + s + "\""`.
std::string Quoted(std::string_view s) {
  std::string out(1, '"');
  out += Escape(s);
  out += '"';
  return out;
}

std::string FormatData(const RegValue& v) {
  char buf[32];
  if (v.type == kRegSz && IsPlainString(v.data)) {
    return Quoted(
        std::string_view(reinterpret_cast<const char*>(v.data.data()), v.data.size() - 1));
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

std::string ValueLine(const std::string& name, const RegValue& value) {
  std::string line = name.empty() ? "@" : Quoted(name);
  line += '=';
  return line += FormatData(value);
}

std::string Encode(const std::string& text, Encoding encoding) {
  switch (encoding) {
    case Encoding::kUtf8Bom: return std::string(kUtf8Bom) + text;
    case Encoding::kUtf16Le: return std::string(kUtf16LeBom) + Utf8ToUtf16(text);
    case Encoding::kUtf8: break;
  }
  return text;
}

}  // namespace

std::optional<Hive> ParseRegFile(const std::string& bytes, std::string* error) {
  Layout layout;
  return Parse(bytes, layout, error);
}

std::string FormatRegFile(const Hive& hive) {
  std::string out(kRegHeader);
  out += "\n\n";
  for (const auto& entry : hive.keys) {
    out += "[" + KeyPathOf(entry) + "]\n";
    for (HiveValueIt it : OrderedValues(entry.second)) out += ValueLine(it->first, it->second) + "\n";
    out += "\n";
  }
  return out;
}

std::optional<std::string> UpdateRegFile(const std::string& bytes, const Hive& hive) {
  Layout layout;
  std::optional<Hive> old = Parse(bytes, layout, nullptr);
  if (!old) return std::nullopt;
  const std::size_t n = layout.lines.size();
  std::vector<bool> dropped(n, false);
  std::vector<std::optional<std::string>> replaced(n);
  std::vector<std::vector<std::string>> insertedBefore(n + 1);

  // What the file holds but the hive no longer does goes, comments inside a dropped key with it.
  for (const Section& s : layout.sections) {
    if (hive.keys.count(s.key)) continue;
    for (std::size_t i = s.header; i < s.end; ++i) dropped[i] = true;
  }
  for (const ValueSpan& v : layout.values) {
    auto key = hive.keys.find(v.key);
    if (key == hive.keys.end() || key->second.values.count(v.name)) continue;
    for (std::size_t i = v.first; i < v.first + v.count; ++i) dropped[i] = true;
  }

  std::vector<std::string> appended;
  for (const auto& entry : hive.keys) {
    const HiveKey* was = old->Find(entry.first);
    if (!was) {
      appended.push_back("[" + KeyPathOf(entry) + "]");
      for (HiveValueIt it : OrderedValues(entry.second)) appended.push_back(ValueLine(it->first, it->second));
      appended.push_back("");
      continue;
    }
    for (HiveValueIt it : OrderedValues(entry.second)) {
      auto before = was->values.find(it->first);
      if (before != was->values.end() && before->second == it->second) continue;
      if (before != was->values.end()) {
        // The last line naming the value is the one that counts; it takes the new data.
        for (std::size_t k = layout.values.size(); k-- > 0;) {
          const ValueSpan& v = layout.values[k];
          if (!SameName(v.key, entry.first) || !SameName(v.name, it->first)) continue;
          replaced[v.first] = ValueLine(v.name, it->second);
          for (std::size_t i = v.first + 1; i < v.first + v.count; ++i) dropped[i] = true;
          break;
        }
        continue;
      }
      for (std::size_t k = layout.sections.size(); k-- > 0;) {
        if (!SameName(layout.sections[k].key, entry.first)) continue;
        insertedBefore[layout.sections[k].insertAt].push_back(ValueLine(it->first, it->second));
        break;
      }
    }
  }

  std::vector<Line> out;
  out.reserve(n + appended.size() + 2);
  for (std::size_t i = 0; i <= n; ++i) {
    for (std::string& text : insertedBefore[i]) out.push_back({std::move(text), layout.eol});
    if (i == n || dropped[i]) continue;
    out.push_back(layout.lines[i]);
    if (replaced[i]) out.back().text = std::move(*replaced[i]);
  }
  if (!appended.empty()) {
    if (!out.empty() && !Trim(out.back().text).empty()) out.push_back({"", layout.eol});
    for (std::string& text : appended) out.push_back({std::move(text), layout.eol});
  }
  std::string text;
  for (std::size_t i = 0; i < out.size(); ++i) {
    text += out[i].text;
    // A last line without a line end gets one once something follows it.
    text += out[i].eol.empty() && i + 1 < out.size() ? layout.eol : out[i].eol;
  }
  return Encode(text, layout.encoding);
}

}  // namespace plat
