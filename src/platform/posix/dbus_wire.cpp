#include "platform/posix/dbus_wire.h"

#include <cstddef>
#include <cstring>

namespace plat::posix {
namespace {

// The most a whole message may take on any bus (128 MiB): a length past it is no message at all.
constexpr std::uint32_t kMaxMessage = 1u << 27;

size_t AlignOf(char code) {
  switch (code) {
    case 'y': case 'g': case 'v': return 1;
    case 'n': case 'q': return 2;
    case 'x': case 't': case 'd': case '(': case '{': return 8;
    default: return 4;  // b i u s o a h
  }
}

// Where the single complete type starting at sig[i] ends (a checked signature: CheckType).
size_t TypeEnd(const std::string& sig, size_t i) {
  while (i < sig.size() && sig[i] == 'a') ++i;
  if (i >= sig.size()) return sig.size();
  if (sig[i] != '(' && sig[i] != '{') return i + 1;
  int depth = 0;
  for (size_t k = i; k < sig.size(); ++k) {
    if (sig[k] == '(' || sig[k] == '{') ++depth;
    if ((sig[k] == ')' || sig[k] == '}') && --depth == 0) return k + 1;
  }
  return sig.size();
}

// Where the single complete type at sig[i] ends; npos when there is none, or when it nests more
// arrays or structs (dict entries count as structs) than D-Bus allows. `arrays` and `structs`
// count the levels already open around it.
size_t CheckType(const std::string& sig, size_t i, int arrays = 0, int structs = 0) {
  constexpr size_t kNone = std::string::npos;
  for (; i < sig.size() && sig[i] == 'a'; ++i)
    if (++arrays > kMaxArrayDepth) return kNone;
  if (i >= sig.size()) return kNone;
  switch (sig[i]) {
    case 'y': case 'b': case 'n': case 'q': case 'i': case 'u': case 'x': case 't': case 'd':
    case 'h': case 's': case 'o': case 'g': case 'v':
      return i + 1;
    case '(': case '{': {
      if (++structs > kMaxStructDepth) return kNone;
      const char close = sig[i] == '(' ? ')' : '}';
      size_t k = i + 1;
      int members = 0;
      while (k < sig.size() && sig[k] != close) {
        if ((k = CheckType(sig, k, arrays, structs)) == kNone) return kNone;
        ++members;
      }
      if (k >= sig.size() || members == 0 || (close == '}' && members != 2)) return kNone;
      return k + 1;
    }
    default:
      return kNone;
  }
}

// A signature of whole types, each within the nesting limits.
bool SignatureOk(const std::string& sig) {
  for (size_t i = 0; i < sig.size();)
    if ((i = CheckType(sig, i)) == std::string::npos) return false;
  return true;
}

void Pad(std::string& b, size_t n) {
  while (b.size() % n) b += '\0';
}

void Put32(std::string& b, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b += char((v >> (8 * k)) & 0xFF);
}

// Reads values in the wire format from a message's bytes.
class Reader {
 public:
  // Reads bytes[pos, end); end npos: to the end of bytes.
  Reader(const std::string& bytes, size_t pos, bool big, size_t end = std::string::npos)
      : b_(bytes), pos_(pos), end_(end < bytes.size() ? end : bytes.size()), big_(big) {}
  bool Align(size_t n) {
    while (pos_ % n) ++pos_;
    return pos_ <= end_;
  }
  bool U32(std::uint32_t& v) {
    if (!Align(4) || pos_ + 4 > end_) return false;
    v = 0;
    for (int k = 0; k < 4; ++k) {
      const std::uint32_t byte = static_cast<unsigned char>(b_[pos_ + size_t(k)]);
      v |= big_ ? byte << (8 * (3 - k)) : byte << (8 * k);
    }
    pos_ += 4;
    return true;
  }
  bool Byte(std::uint8_t& v) {
    if (pos_ >= end_) return false;
    v = static_cast<std::uint8_t>(b_[pos_++]);
    return true;
  }
  // s and o: 32-bit length; g: 8-bit length. Then the bytes and a nul.
  bool String(char code, std::string& s) {
    std::uint32_t len = 0;
    if (code == 'g') {
      std::uint8_t l = 0;
      if (!Byte(l)) return false;
      len = l;
    } else if (!U32(len)) {
      return false;
    }
    if (len > end_ || pos_ + len + 1 > end_) return false;
    s.assign(b_, pos_, len);
    pos_ += len + 1;
    return true;
  }
  // One value of the complete type at sig[i]: a number or a string goes to n or s (once: `got`
  // says whether one was taken), anything else is read past. `depth` counts the containers it is
  // in; past kMaxDepth (a variant in a variant in ...) the message is refused, not recursed into.
  bool Value(const std::string& sig, size_t i, long long& n, std::string& s, bool& got, int depth = 0) {
    if (i >= sig.size() || depth > kMaxDepth) return false;
    const char c = sig[i];
    switch (c) {
      case 'y': {
        std::uint8_t v;
        if (!Byte(v)) return false;
        if (!got) n = v, got = true;
        return true;
      }
      case 'b': case 'u': case 'i': case 'h': {
        std::uint32_t v;
        if (!U32(v)) return false;
        if (!got) n = c == 'i' ? static_cast<std::int32_t>(v) : static_cast<long long>(v), got = true;
        return true;
      }
      case 'n': case 'q':
        if (!Align(2) || pos_ + 2 > end_) return false;
        pos_ += 2;
        return true;
      case 'x': case 't': case 'd':
        if (!Align(8) || pos_ + 8 > end_) return false;
        pos_ += 8;
        return true;
      case 's': case 'o': case 'g': {
        std::string v;
        if (!String(c, v)) return false;
        if (!got) s = v, got = true;
        return true;
      }
      case 'v': {
        std::string inner;
        return String('g', inner) && !inner.empty() && CheckType(inner, 0) == inner.size() &&
               Value(inner, 0, n, s, got, depth + 1);
      }
      case 'a': {
        std::uint32_t len = 0;
        if (!U32(len) || !Align(AlignOf(i + 1 < sig.size() ? sig[i + 1] : 'y'))) return false;
        if (len > end_ || pos_ + len > end_) return false;
        pos_ += len;
        return true;
      }
      case '(': case '{': {
        if (!Align(8)) return false;
        const size_t end = TypeEnd(sig, i) - 1;
        for (size_t k = i + 1; k < end; k = TypeEnd(sig, k))
          if (!Value(sig, k, n, s, got, depth + 1)) return false;
        return true;
      }
      default:
        return false;
    }
  }
  size_t Pos() const { return pos_; }

 private:
  const std::string& b_;
  size_t pos_, end_;
  bool big_;
};

}  // namespace

DBusMessage MethodCall(const std::string& destination, const std::string& path,
                       const std::string& interface, const std::string& member) {
  DBusMessage m;
  m.type = kMethodCall;
  m.destination = destination;
  m.path = path;
  m.interface = interface;
  m.member = member;
  return m;
}

DBusMessage Signal(const std::string& path, const std::string& interface, const std::string& member) {
  DBusMessage m;
  m.type = kSignal;
  m.flags = 1;
  m.path = path;
  m.interface = interface;
  m.member = member;
  return m;
}

DBusMessage ReturnFor(const DBusMessage& call) {
  DBusMessage m;
  m.type = kMethodReturn;
  m.flags = 1;
  m.replySerial = call.serial;
  m.destination = call.sender;
  return m;
}

DBusMessage ErrorFor(const DBusMessage& call, const std::string& name, const std::string& text) {
  DBusMessage m = ReturnFor(call);
  m.type = kError;
  m.errorName = name;
  DBusWriter(m).Str(text);
  return m;
}

// ---- writing ----

DBusWriter::DBusWriter(DBusMessage& message) : body_(message.body), sig_(&message.signature) {}

DBusWriter::DBusWriter(DBusWriter& parent, char type, const char* signature)
    : body_(parent.body_), parent_(&parent), type_(type) {
  if (type == kArray) {
    parent.Type((std::string("a") + signature).c_str());
    Align(4);
    lengthAt_ = body_.size();
    Put32(0);
    Align(AlignOf(signature[0]));
    startAt_ = body_.size();
    sig_ = nullptr;
  } else if (type == kVariant) {
    parent.Type("v");
    const size_t len = std::strlen(signature);
    body_ += char(len);
    body_.append(signature, len);
    body_ += '\0';
    sig_ = nullptr;
  } else {  // a struct or a dict entry: its signature is what goes into it
    Align(8);
    sig_ = &structSig_;
  }
}

DBusWriter::~DBusWriter() {
  if (!parent_) return;
  if (type_ == kArray) {
    const std::uint32_t len = std::uint32_t(body_.size() - startAt_);
    for (int k = 0; k < 4; ++k) body_[lengthAt_ + size_t(k)] = char((len >> (8 * k)) & 0xFF);
  } else if (type_ == kStruct) {
    parent_->Type(("(" + structSig_ + ")").c_str());
  } else if (type_ == kDictEntry) {
    parent_->Type(("{" + structSig_ + "}").c_str());
  }
}

void DBusWriter::Type(const char* code) {
  if (sig_) *sig_ += code;
}
void DBusWriter::Align(size_t n) { Pad(body_, n); }
void DBusWriter::Put32(std::uint32_t v) { posix::Put32(body_, v); }

void DBusWriter::PutString(char code, const std::string& s) {
  const char t[2] = {code, 0};
  Type(t);
  Align(4);
  Put32(std::uint32_t(s.size()));
  body_ += s;
  body_ += '\0';
}

DBusWriter& DBusWriter::Str(const std::string& s) {
  PutString('s', s);
  return *this;
}
DBusWriter& DBusWriter::Path(const std::string& p) {
  PutString('o', p);
  return *this;
}
DBusWriter& DBusWriter::Int(int v) {
  Type("i");
  Align(4);
  Put32(static_cast<std::uint32_t>(v));
  return *this;
}
DBusWriter& DBusWriter::Uint(unsigned v) {
  Type("u");
  Align(4);
  Put32(v);
  return *this;
}
DBusWriter& DBusWriter::Boolean(bool v) {
  Type("b");
  Align(4);
  Put32(v ? 1 : 0);
  return *this;
}
DBusWriter& DBusWriter::Ref(const std::string& bus, const std::string& path) {
  DBusWriter s(*this, kStruct, nullptr);
  s.Str(bus).Path(path);
  return *this;
}

DBusArgs::DBusArgs(const DBusMessage& m) {
  if (!SignatureOk(m.signature)) return;
  Reader r(m.body, 0, m.bigEndian);
  for (size_t i = 0; i < m.signature.size(); i = TypeEnd(m.signature, i)) {
    long long n = 0;
    std::string s;
    bool got = false;
    if (!r.Value(m.signature, i, n, s, got)) break;
    nums_.push_back(n);
    strs_.push_back(std::move(s));
  }
}

// ---- the wire format of whole messages ----

std::string Marshal(const DBusMessage& m) {
  std::string h{'l', char(m.type), char(m.flags), 1};
  Put32(h, std::uint32_t(m.body.size()));
  Put32(h, m.serial);
  std::string f;  // the header fields, a(yv); the array starts 8-aligned at offset 16
  auto field = [&f](std::uint8_t code, char type, const std::string& s, std::uint32_t u) {
    Pad(f, 8);
    f += char(code);
    f += {1, type, 0};
    if (type == 'u') {
      Pad(f, 4);
      Put32(f, u);
    } else if (type == 'g') {
      f += char(s.size());
      f += s;
      f += '\0';
    } else {
      Pad(f, 4);
      Put32(f, std::uint32_t(s.size()));
      f += s;
      f += '\0';
    }
  };
  if (!m.path.empty()) field(1, 'o', m.path, 0);
  if (!m.interface.empty()) field(2, 's', m.interface, 0);
  if (!m.member.empty()) field(3, 's', m.member, 0);
  if (!m.errorName.empty()) field(4, 's', m.errorName, 0);
  if (m.replySerial) field(5, 'u', "", m.replySerial);
  if (!m.destination.empty()) field(6, 's', m.destination, 0);
  if (!m.sender.empty()) field(7, 's', m.sender, 0);  // only a bus sets it (and tests)
  if (!m.signature.empty()) field(8, 'g', m.signature, 0);
  Put32(h, std::uint32_t(f.size()));
  h += f;
  Pad(h, 8);
  return h + m.body;
}

Frame PeekFrame(const std::string& bytes) {
  if (bytes.size() < 16) return {};
  if (bytes[0] != 'l' && bytes[0] != 'B') return {Frame::kMalformed};
  Reader head(bytes, 4, bytes[0] == 'B');
  std::uint32_t bodyLen = 0, serial = 0, fieldsLen = 0;
  head.U32(bodyLen);
  head.U32(serial);
  head.U32(fieldsLen);
  if (bodyLen > kMaxMessage || fieldsLen > kMaxMessage) return {Frame::kMalformed};
  Frame f;
  f.fieldsEnd = 16 + size_t(fieldsLen);
  f.length = (f.fieldsEnd + 7) / 8 * 8 + bodyLen;
  if (f.length > kMaxMessage) f.kind = Frame::kMalformed;
  else if (bodyLen > kMaxPart || fieldsLen > kMaxPart) f.kind = Frame::kTooLarge;
  else if (bytes.size() >= f.length) f.kind = Frame::kWhole;
  return f;
}

bool ParseHeader(const std::string& bytes, DBusMessage& out) {
  const Frame f = PeekFrame(bytes);
  if (f.kind == Frame::kMalformed || f.fieldsEnd == 0 || bytes.size() < f.fieldsEnd) return false;
  const bool big = bytes[0] == 'B';
  DBusMessage m;
  m.type = std::uint8_t(bytes[1]);
  m.flags = std::uint8_t(bytes[2]);
  Reader(bytes, 8, big).U32(m.serial);
  m.bigEndian = big;
  Reader r(bytes, 16, big, f.fieldsEnd);
  while (r.Align(8) && r.Pos() < f.fieldsEnd) {
    std::uint8_t code = 0;
    std::string sig, s;
    if (!r.Byte(code) || !r.String('g', sig) || sig.size() != 1) return false;
    long long n = 0;
    bool got = false;
    if (!r.Value(sig, 0, n, s, got)) return false;
    switch (code) {
      case 1: m.path = s; break;
      case 2: m.interface = s; break;
      case 3: m.member = s; break;
      case 4: m.errorName = s; break;
      case 5: m.replySerial = std::uint32_t(n); break;
      case 6: m.destination = s; break;
      case 7: m.sender = s; break;
      case 8: m.signature = s; break;
      default: break;
    }
  }
  out = std::move(m);
  return true;
}

long ParseMessage(const std::string& bytes, DBusMessage& out) {
  const Frame f = PeekFrame(bytes);
  if (f.kind == Frame::kIncomplete) return 0;
  DBusMessage m;
  if (f.kind != Frame::kWhole || !ParseHeader(bytes, m) || !SignatureOk(m.signature)) return -1;
  // The body must hold what its signature says, nested no deeper than allowed.
  const size_t bodyAt = (f.fieldsEnd + 7) / 8 * 8;
  Reader r(bytes, bodyAt, m.bigEndian, f.length);
  for (size_t i = 0; i < m.signature.size(); i = TypeEnd(m.signature, i)) {
    long long n = 0;
    std::string s;
    bool got = false;
    if (!r.Value(m.signature, i, n, s, got)) return -1;
  }
  m.body.assign(bytes, bodyAt, f.length - bodyAt);
  out = std::move(m);
  return long(f.length);
}

}  // namespace plat::posix
