#include "platform/posix/dbus_client.h"

#include <fcntl.h>
#include <malloc.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace plat::posix {
namespace {

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

namespace {

// A listener that accepts nobody must not hold up the start: the session bus's own time-out.
constexpr int kConnectMs = 1000;
// Read per ReadAvailable at most, so that a flood or a long message to skip shares the loop.
constexpr size_t kReadPerPass = 1 << 20;

}  // namespace

DBusConnection::~DBusConnection() { Close(); }

void DBusConnection::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  step_ = Step::kClosed;
  authenticated_ = false;
  unique_.clear();
  std::string().swap(in_);
  incoming_.clear();
  out_.clear();
  queued_ = sent_ = skip_ = 0;
}

void DBusConnection::Adopt(int fd, const std::string& uniqueName) {
  Close();
  fd_ = fd;
  step_ = Step::kOpen;
  fcntl(fd_, F_SETFL, fcntl(fd_, F_GETFL) | O_NONBLOCK);
  unique_ = uniqueName;
  authenticated_ = true;
}

bool DBusConnection::Open(const std::string& address) {
  const Deadline until = Deadline::In(kConnectMs);
  Opening step = BeginOpen(address);
  while (step == Opening::kGoing) {
    if (until.Passed()) {
      GiveUpOpening(kConnectMs);
      return false;
    }
    // A busy listener says nothing when it has room: asked again at RetryAtMs.
    const Deadline next =
        RetryAtMs() >= 0 ? Deadline::In(std::max<std::int64_t>(0, RetryAtMs() - MonotonicMs())) : until;
    pollfd p{fd_, short(WantsWrite() ? POLLIN | POLLOUT : POLLIN), 0};
    const int r = PollUntil(&p, fd_ >= 0 ? 1 : 0, next.AtNs() < until.AtNs() ? next : until);
    step = Advance(r > 0 ? p.revents : 0);
  }
  return step == Opening::kDone;
}

DBusConnection::Opening DBusConnection::BeginOpen(const std::string& address) {
  Close();
  if (!AddressValid(address)) {
    error_ = "a bad %-escape in the address '" + address + "'";
    return Opening::kFailed;  // the whole address is void, as libdbus takes it
  }
  error_ = "no unix:path or unix:abstract entry in '" + address + "'";
  for (size_t at = 0; at <= address.size();) {
    const size_t semi = address.find(';', at);
    const std::string entry = address.substr(at, semi == std::string::npos ? std::string::npos : semi - at);
    at = semi == std::string::npos ? address.size() + 1 : semi + 1;
    UnixSocketAddress where;
    if (ParseUnixAddress(entry, where) != AddressEntry::kUnix ||
        !UnixAddress(where.path, where.abstract, peer_, peerLength_))
      continue;
    entry_ = entry;
    step_ = Step::kBusy;
    retryAtMs_ = 0;
    const Opening now = Advance(0);
    // A listener that is not there: the next entry may be.
    if (now != Opening::kFailed) return now;
  }
  step_ = Step::kClosed;
  return Opening::kFailed;
}

DBusConnection::Opening DBusConnection::Failed(const std::string& why) {
  error_ = why;
  Close();
  return Opening::kFailed;
}

DBusConnection::Opening DBusConnection::Advance(short revents) {
  switch (step_) {
    case Step::kClosed:
      return Opening::kFailed;
    case Step::kOpen:
      return Opening::kDone;
    case Step::kBusy: {
      if (MonotonicMs() < retryAtMs_) return Opening::kGoing;
      const Connecting c = ConnectUnix(peer_, peerLength_);
      if (c.state == ConnectState::kBusy) {
        retryAtMs_ = MonotonicMs() + 25;  // it says nothing when it has room
        return Opening::kGoing;
      }
      if (c.state == ConnectState::kFailed)
        return Failed("cannot connect to '" + entry_ + "': " + std::strerror(c.error));
      fd_ = c.fd;
      step_ = Step::kConnecting;
      if (c.state == ConnectState::kPending) return Opening::kGoing;
      revents = POLLOUT;
      [[fallthrough]];
    }
    case Step::kConnecting: {
      if (!(revents & (POLLOUT | POLLHUP | POLLERR))) return Opening::kGoing;
      int error = 0;
      if (ConnectFinished(fd_, error) != ConnectState::kConnected)
        return Failed("cannot connect to '" + entry_ + "': " + std::strerror(error));
      // SASL: a nul byte, then EXTERNAL with our uid in hex-encoded decimal; the bus answers OK.
      std::string hexUid;
      for (char c : std::to_string(geteuid())) {
        char two[3];
        std::snprintf(two, sizeof two, "%02x", static_cast<unsigned char>(c));
        hexUid += two;
      }
      step_ = Step::kAuth;
      Queue(std::string(1, '\0') + "AUTH EXTERNAL " + hexUid + "\r\n", "");
      revents = POLLIN;
      [[fallthrough]];
    }
    case Step::kAuth: {
      if (!WriteQueued() || !ReadAvailable()) return Failed("the bus closed the connection");
      if (in_.find("\r\n") == std::string::npos) return Opening::kGoing;
      const bool accepted = in_.rfind("OK ", 0) == 0;
      in_.clear();
      if (!accepted) return Failed("the bus did not take us (authentication)");
      Queue("BEGIN\r\n", "");
      authenticated_ = true;
      step_ = Step::kHello;
      if (!Send(MethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                           "Hello")))
        return Failed("the bus closed the connection");
      helloSerial_ = serial_;
      [[fallthrough]];
    }
    case Step::kHello: {
      if (!WriteQueued() || !ReadAvailable()) return Failed("the bus closed the connection");
      DBusMessage reply;
      if (!TakeReply(helloSerial_, reply)) return Opening::kGoing;
      if (reply.type != kMethodReturn) return Failed("the bus refused Hello: " + reply.errorName);
      unique_ = DBusArgs(reply).Str(0);
      step_ = Step::kOpen;
      return Opening::kDone;
    }
  }
  return Opening::kFailed;
}

void DBusConnection::GiveUpOpening(int ms) {
  if (step_ == Step::kOpen || step_ == Step::kClosed) return;
  Failed(step_ == Step::kBusy ? "cannot connect to '" + entry_ + "': the listener accepted no "
                                "connection within " + std::to_string(ms) + " ms"
                              : "the bus did not answer within " + std::to_string(ms) + " ms");
}

std::int64_t DBusConnection::RetryAtMs() const { return step_ == Step::kBusy ? retryAtMs_ : -1; }

void DBusConnection::Queue(std::string bytes, const std::string& key) {
  // A message that has not started out gives way to a newer one with its key.
  if (!key.empty()) {
    for (size_t k = sent_ ? 1 : 0; k < out_.size(); ++k) {
      if (out_[k].key != key) continue;
      queued_ = queued_ - out_[k].bytes.size() + bytes.size();
      out_[k].bytes = std::move(bytes);
      return;
    }
  }
  queued_ += bytes.size();
  out_.push_back({std::move(bytes), key});
  // The bus reads nothing: the oldest that have not started out go, the newest stays.
  while (queued_ > kMaxQueuedBytes && out_.size() > (sent_ ? 2u : 1u)) {
    const auto oldest = out_.begin() + (sent_ ? 1 : 0);
    queued_ -= oldest->bytes.size();
    out_.erase(oldest);
    ++dropped_;
    static bool said = false;
    if (!said)
      std::fprintf(stderr, "zorvane: the accessibility bus is not reading; the oldest messages to "
                   "it are dropped\n");
    said = true;
  }
}

bool DBusConnection::WriteQueued() {
  while (fd_ >= 0 && !out_.empty()) {
    const std::string& b = out_.front().bytes;
    const ssize_t n = send(fd_, b.data() + sent_, b.size() - sent_, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) break;
    sent_ += size_t(n);
    if (sent_ < b.size()) continue;
    queued_ -= b.size();
    out_.pop_front();
    sent_ = 0;
  }
  if (fd_ >= 0 && out_.empty()) return true;
  Close();  // the bus went away
  return false;
}

bool DBusConnection::Send(DBusMessage message, const std::string& key) {
  if (fd_ < 0) return false;
  message.serial = ++serial_;
  if (serial_ == 0xFFFFFFFFu) serial_ = 0;  // 0 is not a serial
  Queue(Marshal(message), key);
  return WriteQueued();
}

bool DBusConnection::ReadAvailable() {
  char buf[16384];
  for (size_t total = 0; fd_ >= 0 && total < kReadPerPass;) {
    const ssize_t n = recv(fd_, buf, sizeof buf, MSG_DONTWAIT);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n <= 0) {
      Close();  // the bus closed the connection
      break;
    }
    total += size_t(n);
    // What is left of a message too large to keep is read past, never stored.
    const size_t skipped = std::min(skip_, size_t(n));
    skip_ -= skipped;
    in_.append(buf + skipped, size_t(n) - skipped);
    if (authenticated_) TakeMessages();
  }
  if (in_.capacity() > kKeptReadBuffer && in_.size() <= kKeptReadBuffer) in_.shrink_to_fit();
  return fd_ >= 0;
}

void DBusConnection::SkipFront(size_t length) {
  const size_t here = std::min(length, in_.size());
  in_.erase(0, here);
  skip_ = length - here;
}

// A call that is not taken still gets an answer, when its header says who asked.
void DBusConnection::Refuse(const DBusMessage& header, const char* error, const char* text) {
  if (header.type == kMethodCall && !(header.flags & 1) && !header.sender.empty())
    Send(ErrorFor(header, error, text));
}

void DBusConnection::TakeMessages() {
  while (fd_ >= 0 && skip_ == 0) {
    const Frame f = PeekFrame(in_);
    if (f.kind == Frame::kIncomplete) {
      if (f.length > in_.capacity()) in_.reserve(f.length);  // one allocation, not doublings
      return;
    }
    if (f.kind == Frame::kMalformed) {
      Close();  // no telling where the next message starts
      return;
    }
    DBusMessage m;
    if (f.kind == Frame::kTooLarge) {
      // Its header fields are kept (when they are not too large themselves), to answer the caller.
      if (f.fieldsEnd <= 16 + kMaxPart && in_.size() < f.fieldsEnd) return;
      const bool answerable = f.fieldsEnd <= 16 + kMaxPart && ParseHeader(in_, m);
      SkipFront(f.length);
      if (answerable) Refuse(m, kErrorLimitsExceeded, "the message is larger than the clock takes");
      continue;
    }
    const long used = ParseMessage(in_, m);
    if (used > 0) {
      SkipFront(size_t(used));
      if (size_t(used) > kKeptReadBuffer) tookLarge_ = true;
      incoming_.push_back(std::move(m));
      continue;
    }
    // A message that holds together but not within: too deep, or its body not its signature.
    const bool answerable = ParseHeader(in_, m);
    SkipFront(f.length);
    if (answerable)
      Refuse(m, kErrorInvalidArgs, "the message nests too deep or does not hold its signature");
  }
}

bool DBusConnection::AnswerPeer(const DBusMessage& call) {
  const bool peer = call.interface == "org.freedesktop.DBus.Peer" ||
                    (call.interface.empty() && (call.member == "Ping" || call.member == "GetMachineId"));
  if (!peer || call.type != kMethodCall) return false;
  if (call.flags & 1) return true;  // no reply wanted
  if (call.member == "Ping") {
    Send(ReturnFor(call));
  } else if (call.member == "GetMachineId") {
    std::string id;
    for (const char* file : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
      if (FILE* f = std::fopen(file, "r")) {
        char line[64] = {};
        if (std::fgets(line, sizeof line, f)) id = line;
        std::fclose(f);
      }
      while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
      if (!id.empty()) break;
    }
    if (id.empty()) {
      Send(ErrorFor(call, kErrorFailed, "this machine has no machine id"));
    } else {
      DBusMessage reply = ReturnFor(call);
      DBusWriter(reply).Str(id);
      Send(std::move(reply));
    }
  } else {
    Send(ErrorFor(call, kErrorUnknownMethod, call.member));
  }
  return true;
}

bool DBusConnection::TakeReply(std::uint32_t serial, DBusMessage& reply) {
  for (auto it = incoming_.begin(); it != incoming_.end(); ++it) {
    if ((it->type == kMethodReturn || it->type == kError) && it->replySerial == serial) {
      reply = std::move(*it);
      incoming_.erase(it);
      return true;
    }
  }
  return false;
}

void DBusConnection::GiveBackMemory() {
  if (!tookLarge_) return;
  tookLarge_ = false;
  if (in_.capacity() > kKeptReadBuffer && in_.size() <= kKeptReadBuffer) in_.shrink_to_fit();
#ifdef __GLIBC__
  // glibc keeps freed megabytes in its heap (its mmap threshold rises after the first big free).
  malloc_trim(0);
#endif
}

DBusMessage DBusConnection::Take() {
  DBusMessage m = std::move(incoming_.front());
  incoming_.pop_front();
  return m;
}

}  // namespace plat::posix
