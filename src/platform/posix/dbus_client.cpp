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

long long NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000LL + ts.tv_nsec / 1'000'000;
}

// The value's %xx escapes undone; false when one is not two hex digits.
bool Unescape(const std::string& value, std::string& out) {
  out.clear();
  for (size_t k = 0; k < value.size(); ++k) {
    if (value[k] != '%') {
      out += value[k];
      continue;
    }
    int byte = 0;
    for (size_t d = k + 1; d <= k + 2; ++d) {
      const char c = d < value.size() ? value[d] : '\0';
      const int digit = c >= '0' && c <= '9' ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (digit < 0) return false;
      byte = byte * 16 + digit;
    }
    out += char(byte);
    k += 2;
  }
  return true;
}

bool ToSockaddr(const UnixSocketAddress& a, sockaddr_un& sa, socklen_t& len) {
  if (a.path.empty() || a.path.size() + 1 >= sizeof sa.sun_path) return false;
  sa = {};
  sa.sun_family = AF_UNIX;
  std::memcpy(sa.sun_path + (a.abstract ? 1 : 0), a.path.data(), a.path.size());
  len = socklen_t(offsetof(sockaddr_un, sun_path) + a.path.size() + (a.abstract ? 1 : 0));
  return true;
}

}  // namespace

AddressEntry ParseUnixAddress(const std::string& entry, UnixSocketAddress& out) {
  out = {};
  if (entry.rfind("unix:", 0) != 0) return AddressEntry::kOther;
  std::string rest = entry.substr(5);
  while (!rest.empty()) {
    const size_t comma = rest.find(',');
    const std::string kv = rest.substr(0, comma);
    rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
    const size_t eq = kv.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = kv.substr(0, eq);
    std::string value;
    if (!Unescape(kv.substr(eq + 1), value)) return AddressEntry::kBad;
    if (key == "path" || key == "abstract") {
      out.path = value;
      out.abstract = key == "abstract";
    }
  }
  return out.path.empty() ? AddressEntry::kOther : AddressEntry::kUnix;
}

bool AddressValid(const std::string& address) {
  size_t at = 0;
  for (;;) {
    const size_t semi = address.find(';', at);
    UnixSocketAddress unused;
    if (ParseUnixAddress(address.substr(at, semi == std::string::npos ? semi : semi - at), unused) ==
        AddressEntry::kBad)
      return false;
    if (semi == std::string::npos) return true;
    at = semi + 1;
  }
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
  if (!AddressValid(address)) {
    error_ = "a bad %-escape in the address '" + address + "'";
    return false;  // the whole address is void, as libdbus takes it
  }
  error_ = "no unix:path or unix:abstract entry in '" + address + "'";
  for (size_t at = 0; at <= address.size() && fd_ < 0;) {
    const size_t semi = address.find(';', at);
    const std::string entry = address.substr(at, semi == std::string::npos ? std::string::npos : semi - at);
    at = semi == std::string::npos ? address.size() + 1 : semi + 1;
    UnixSocketAddress where;
    const AddressEntry kind = ParseUnixAddress(entry, where);
    sockaddr_un sa{};
    socklen_t len = 0;
    if (kind != AddressEntry::kUnix || !ToSockaddr(where, sa, len)) continue;
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&sa), len) != 0) {
      error_ = "cannot connect to '" + entry + "': " + std::strerror(errno);
      Close();
    }
  }
  if (fd_ < 0) return false;
  error_ = "the bus did not answer";
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
