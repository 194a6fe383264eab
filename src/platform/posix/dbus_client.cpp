#include "platform/posix/dbus_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace plat::posix {
namespace {

// The most a message's header fields or body may take. The protocol allows 64 MiB; the calls a
// screen reader makes take a few hundred bytes, and anything larger from a client on the bus is
// refused before it is buffered.
constexpr std::uint32_t kMaxPart = 1u << 20;

size_t AlignOf(char code) {
  switch (code) {
    case 'y': case 'g': case 'v': return 1;
    case 'n': case 'q': return 2;
    case 'x': case 't': case 'd': case '(': case '{': return 8;
    default: return 4;  // b i u s o a h
  }
}

// Where the single complete type starting at sig[i] ends.
size_t TypeEnd(const std::string& sig, size_t i) {
  if (i >= sig.size()) return sig.size();
  if (sig[i] == 'a') return TypeEnd(sig, i + 1);
  if (sig[i] != '(' && sig[i] != '{') return i + 1;
  int depth = 0;
  for (size_t k = i; k < sig.size(); ++k) {
    if (sig[k] == '(' || sig[k] == '{') ++depth;
    if ((sig[k] == ')' || sig[k] == '}') && --depth == 0) return k + 1;
  }
  return sig.size();
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
  Reader(const std::string& bytes, size_t pos, bool big) : b_(bytes), pos_(pos), big_(big) {}
  bool Align(size_t n) {
    while (pos_ % n) ++pos_;
    return pos_ <= b_.size();
  }
  bool U32(std::uint32_t& v) {
    if (!Align(4) || pos_ + 4 > b_.size()) return false;
    v = 0;
    for (int k = 0; k < 4; ++k) {
      const std::uint32_t byte = static_cast<unsigned char>(b_[pos_ + size_t(k)]);
      v |= big_ ? byte << (8 * (3 - k)) : byte << (8 * k);
    }
    pos_ += 4;
    return true;
  }
  bool Byte(std::uint8_t& v) {
    if (pos_ >= b_.size()) return false;
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
    if (len > b_.size() || pos_ + len + 1 > b_.size()) return false;
    s.assign(b_, pos_, len);
    pos_ += len + 1;
    return true;
  }
  // One value of the complete type at sig[i]: a number or a string goes to n or s (once: `got`
  // says whether one was taken), anything else is read past.
  bool Value(const std::string& sig, size_t i, long long& n, std::string& s, bool& got) {
    if (i >= sig.size()) return false;
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
        if (!Align(2) || pos_ + 2 > b_.size()) return false;
        pos_ += 2;
        return true;
      case 'x': case 't': case 'd':
        if (!Align(8) || pos_ + 8 > b_.size()) return false;
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
        return String('g', inner) && !inner.empty() && Value(inner, 0, n, s, got);
      }
      case 'a': {
        std::uint32_t len = 0;
        if (!U32(len) || !Align(AlignOf(i + 1 < sig.size() ? sig[i + 1] : 'y'))) return false;
        if (len > b_.size() || pos_ + len > b_.size()) return false;
        pos_ += len;
        return true;
      }
      case '(': case '{': {
        if (!Align(8)) return false;
        const size_t end = TypeEnd(sig, i) - 1;
        for (size_t k = i + 1; k < end; k = TypeEnd(sig, k))
          if (!Value(sig, k, n, s, got)) return false;
        return true;
      }
      default:
        return false;
    }
  }
  size_t Pos() const { return pos_; }

 private:
  const std::string& b_;
  size_t pos_;
  bool big_;
};

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1'000'000;
}

// "unix:path=/run/user/1000/bus,guid=..." to a socket address; %xx escapes undone.
bool UnixAddress(const std::string& entry, sockaddr_un& sa, socklen_t& len) {
  if (entry.rfind("unix:", 0) != 0) return false;
  std::string rest = entry.substr(5), path;
  bool abstract = false;
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string kv = rest.substr(0, comma);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    const size_t eq = kv.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = kv.substr(0, eq);
    std::string value;
    for (size_t k = eq + 1; k < kv.size(); ++k) {
      if (kv[k] == '%' && k + 2 < kv.size()) {
        value += char(std::stoi(kv.substr(k + 1, 2), nullptr, 16));
        k += 2;
      } else {
        value += kv[k];
      }
    }
    if (key == "path" || key == "abstract") {
      path = value;
      abstract = key == "abstract";
    }
  }
  if (path.empty() || path.size() + 1 >= sizeof sa.sun_path) return false;
  sa = {};
  sa.sun_family = AF_UNIX;
  std::memcpy(sa.sun_path + (abstract ? 1 : 0), path.data(), path.size());
  len = socklen_t(offsetof(sockaddr_un, sun_path) + path.size() + (abstract ? 1 : 0));
  return true;
}

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
  if (!m.signature.empty()) field(8, 'g', m.signature, 0);
  Put32(h, std::uint32_t(f.size()));
  h += f;
  Pad(h, 8);
  return h + m.body;
}

long ParseMessage(const std::string& bytes, DBusMessage& out) {
  if (bytes.size() < 16) return 0;
  if (bytes[0] != 'l' && bytes[0] != 'B') return -1;
  const bool big = bytes[0] == 'B';
  Reader head(bytes, 4, big);
  std::uint32_t bodyLen = 0, serial = 0, fieldsLen = 0;
  head.U32(bodyLen);
  head.U32(serial);
  head.U32(fieldsLen);
  if (bodyLen > kMaxPart || fieldsLen > kMaxPart) return -1;
  const size_t bodyAt = (16 + size_t(fieldsLen) + 7) / 8 * 8;
  if (bytes.size() < bodyAt + bodyLen) return 0;
  DBusMessage m;
  m.type = std::uint8_t(bytes[1]);
  m.flags = std::uint8_t(bytes[2]);
  m.serial = serial;
  m.bigEndian = big;
  Reader r(bytes, 16, big);
  while (r.Pos() < 16 + fieldsLen) {
    std::uint8_t code = 0;
    std::string sig, s;
    if (!r.Align(8) || r.Pos() >= 16 + fieldsLen) break;
    if (!r.Byte(code) || !r.String('g', sig) || sig.size() != 1) return -1;
    long long n = 0;
    bool got = false;
    if (!r.Value(sig, 0, n, s, got)) return -1;
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
  m.body.assign(bytes, bodyAt, bodyLen);
  out = std::move(m);
  return long(bodyAt + bodyLen);
}

// ---- the connection ----

DBusConnection::~DBusConnection() { Close(); }

void DBusConnection::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  in_.clear();
  incoming_.clear();
}

bool DBusConnection::Open(const std::string& address) {
  Close();
  for (size_t at = 0; at <= address.size() && fd_ < 0;) {
    const size_t semi = address.find(';', at);
    const std::string entry = address.substr(at, semi == std::string::npos ? std::string::npos : semi - at);
    at = semi == std::string::npos ? address.size() + 1 : semi + 1;
    sockaddr_un sa{};
    socklen_t len = 0;
    if (!UnixAddress(entry, sa, len)) continue;
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&sa), len) != 0) Close();
  }
  if (fd_ < 0) return false;
  // SASL: a nul byte, then EXTERNAL with our uid in hex-encoded decimal; the bus answers OK.
  std::string hexUid;
  for (char c : std::to_string(geteuid())) {
    char two[3];
    std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
    hexUid += two;
  }
  if (!WriteAll(std::string(1, '\0') + "AUTH EXTERNAL " + hexUid + "\r\n")) return false;
  const long long until = NowMs() + 1000;
  while (in_.find("\r\n") == std::string::npos) {
    if (NowMs() >= until || !ReadSome(int(until - NowMs()))) {
      Close();
      return false;
    }
  }
  const bool accepted = in_.rfind("OK ", 0) == 0;
  in_.clear();
  if (!accepted || !WriteAll("BEGIN\r\n")) {
    Close();
    return false;
  }
  DBusMessage reply;
  if (!Call(MethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                       "Hello"),
            1000, reply) ||
      reply.type != kMethodReturn) {
    Close();
    return false;
  }
  unique_ = DBusArgs(reply).Str(0);
  return true;
}

bool DBusConnection::WriteAll(const std::string& bytes) {
  for (size_t done = 0; done < bytes.size();) {
    const ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      Close();
      return false;
    }
    done += size_t(n);
  }
  return true;
}

bool DBusConnection::Send(DBusMessage message) {
  if (fd_ < 0) return false;
  message.serial = ++serial_;
  if (serial_ == 0xFFFFFFFFu) serial_ = 0;  // 0 is not a serial
  return WriteAll(Marshal(message));
}

// Waits up to timeoutMs for bytes, takes what came and parses whole messages.
bool DBusConnection::ReadSome(int timeoutMs) {
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) < 0 && errno != EINTR) return false;
  if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) return true;
  return ReadAvailable();
}

bool DBusConnection::ReadAvailable() {
  if (fd_ < 0) return false;
  char buf[4096];
  for (;;) {
    const ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      in_.append(buf, size_t(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    Close();  // the bus closed the connection
    return false;
  }
  // Before BEGIN the bus speaks lines, which the caller reads from in_ itself.
  if (unique_.empty() && serial_ == 0) return true;
  for (;;) {
    DBusMessage m;
    const long used = ParseMessage(in_, m);
    if (used == 0) break;
    if (used < 0) {
      Close();
      return false;
    }
    in_.erase(0, size_t(used));
    incoming_.push_back(std::move(m));
  }
  return true;
}

bool DBusConnection::Call(DBusMessage message, int timeoutMs, DBusMessage& reply) {
  if (!Send(std::move(message))) return false;
  const std::uint32_t serial = serial_;
  const long long until = NowMs() + timeoutMs;
  for (;;) {
    for (auto it = incoming_.begin(); it != incoming_.end(); ++it) {
      if ((it->type == kMethodReturn || it->type == kError) && it->replySerial == serial) {
        reply = std::move(*it);
        incoming_.erase(it);
        return true;
      }
    }
    const long long left = until - NowMs();
    if (left <= 0 || !ReadSome(int(left))) return false;
  }
}

DBusMessage DBusConnection::Take() {
  DBusMessage m = std::move(incoming_.front());
  incoming_.pop_front();
  return m;
}

}  // namespace plat::posix
