// The D-Bus wire format as the accessibility objects write and read it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "platform/posix/dbus_client.h"

using namespace plat::posix;

// What a screen reader's reply carries, written, put on the wire, read back: the signature the
// writer derives, the header and every argument must come through.
TEST(DBusClient, ReplyRoundTrip) {
  DBusMessage call = MethodCall(":1.7", "/org/a11y/atspi/accessible/3", "org.a11y.atspi.Accessible",
                                "GetState");
  call.serial = 41;
  call.sender = ":1.9";
  DBusMessage reply = ReturnFor(call);
  reply.serial = 5;
  {
    DBusWriter w(reply);
    w.Str("click").Int(-3).Uint(7).Boolean(true).Ref(":1.7", "/org/a11y/atspi/accessible/root");
    {
      DBusWriter empty(w, kArray, "(so)");
    }
    {
      DBusWriter kids(w, kArray, "(so)");
      kids.Ref(":1.7", "/a").Ref(":1.7", "/b");
    }
    {
      DBusWriter v(w, kVariant, "s");
      v.Str("Zorvane");
    }
    DBusWriter dict(w, kArray, "{sv}");
    DBusWriter entry(dict, kDictEntry, nullptr);
    entry.Str("Name");
    DBusWriter v(entry, kVariant, "i");
    v.Int(12);
  }
  EXPECT_EQ("siub(so)a(so)a(so)va{sv}", reply.signature);

  const std::string wire = Marshal(reply) + "extra";
  DBusMessage back;
  ASSERT_EQ(long(wire.size() - 5), ParseMessage(wire, back));
  EXPECT_EQ(kMethodReturn, back.type);
  EXPECT_EQ(41u, back.replySerial);
  EXPECT_EQ(5u, back.serial);
  EXPECT_EQ(":1.9", back.destination);
  EXPECT_EQ(reply.signature, back.signature);
  const DBusArgs args(back);
  EXPECT_EQ("click", args.Str(0));
  EXPECT_EQ(-3, args.Num(1));
  EXPECT_EQ(7, args.Num(2));
  EXPECT_EQ(1, args.Num(3));
  EXPECT_EQ(":1.7", args.Str(4));  // a struct reads as its first member
  EXPECT_EQ("Zorvane", args.Str(7));  // after two arrays read past
  EXPECT_EQ("", args.Str(9));         // no such argument
}

// Partial and hostile input: incomplete waits for more bytes, nonsense ends the connection.
TEST(DBusClient, ParseRejectsWhatIsNotAMessage) {
  DBusMessage call = MethodCall("org.a11y.atspi.Registry", "/x", "i.f", "M");
  DBusWriter(call).Str("text");
  const std::string good = Marshal(call);
  std::string badOrder = good, hugeBody = good, badField = good;
  badOrder[0] = 'X';
  hugeBody[4] = hugeBody[5] = hugeBody[6] = hugeBody[7] = '\xFF';
  badField[17] = 9;  // the path field's signature claims 9 characters
  const struct {
    std::string bytes;
    long want;  // >0: the whole message; 0: wait; -1: malformed
  } cases[] = {{good, long(good.size())}, {good.substr(0, 10), 0}, {good.substr(0, good.size() - 1), 0},
               {badOrder, -1}, {hugeBody, -1}, {badField, -1}};
  for (const auto& c : cases) {
    DBusMessage m;
    EXPECT_EQ(c.want, ParseMessage(c.bytes, m)) << c.bytes.size() << " bytes";
  }
}

// Bus addresses as the environment or the root window hands them over: escapes undone, a bad
// one refused (no connection tried) rather than trusted or thrown.
TEST(DBusClient, AddressEntries) {
  using K = AddressEntry;
  const struct {
    const char* entry;
    K kind;
    const char* path;
    bool abstract;
  } cases[] = {{"unix:path=/run/user/1000/bus", K::kUnix, "/run/user/1000/bus", false},
               {"unix:abstract=/tmp/dbus-x,guid=0f1e", K::kUnix, "/tmp/dbus-x", true},
               {"unix:path=/tmp/a%20b%2C%2f", K::kUnix, "/tmp/a b,/", false},
               {"unix:path=/tmp/x%zz", K::kBad, "", false},
               {"unix:abstract=%G1", K::kBad, "", false},
               {"unix:path=/tmp/x%4", K::kBad, "", false},
               {"unix:path=/tmp/x%", K::kBad, "", false},
               {"unix:guid=%zz,path=/tmp/x", K::kBad, "", false},
               {"tcp:host=localhost,port=1", K::kOther, "", false},
               {"unix:guid=0f1e", K::kOther, "", false}};
  for (const auto& c : cases) {
    UnixSocketAddress got;
    EXPECT_EQ(c.kind, ParseUnixAddress(c.entry, got)) << c.entry;
    EXPECT_EQ(c.path, got.path) << c.entry;
    EXPECT_EQ(c.abstract, got.abstract) << c.entry;
    EXPECT_EQ(c.kind != K::kBad, AddressValid(std::string("tcp:port=1;") + c.entry)) << c.entry;
    if (c.kind == K::kBad) {
      DBusConnection bus;
      EXPECT_FALSE(bus.Open(c.entry));
      EXPECT_NE(std::string::npos, bus.Error().find("bad %-escape")) << bus.Error();
    }
  }
}

// A call whose body is `body` under `signature`, as a client on the bus would send it.
static std::string CallWith(const std::string& signature, const std::string& body) {
  DBusMessage m = MethodCall(":1.7", "/", "i.f", "M");
  m.signature = signature;
  m.body = body;
  return Marshal(m);
}

static std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  for (size_t k = 0; k < n; ++k) out += s;
  return out;
}

// Nesting up to D-Bus's limits reads; one level more is refused, however it nests. The last row
// once overflowed the stack.
TEST(DBusClient, NestingLimits) {
  // n variants, the innermost holding an int: the int is n containers deep.
  const std::string emptyArray(4, '\0'), anInt("\x2a\0\0\0", 4);
  auto variants = [&anInt](size_t n) {
    const std::string pad((4 - 3 * n % 4) % 4, '\0');  // the int is 4-aligned
    return CallWith("v", Repeat(std::string("\x01v\0", 3), n - 1) + std::string("\x01i\0", 3) + pad + anInt);
  };
  const struct {
    const char* what;
    std::string wire;
    bool read;
  } cases[] = {{"64 variants", variants(64), true},
               {"65 variants", variants(65), false},
               {"200000 variants", variants(200000), false},
               {"32 arrays", CallWith(Repeat("a", 32) + "i", emptyArray), true},
               {"33 arrays", CallWith(Repeat("a", 33) + "i", emptyArray), false},
               {"32 structs", CallWith(Repeat("(", 32) + "i" + Repeat(")", 32), anInt), true},
               {"33 structs", CallWith(Repeat("(", 33) + "i" + Repeat(")", 33), anInt), false},
               // A dict entry counts as a struct; an empty array of them still pads to 8.
               {"31 structs around a dict",
                CallWith(Repeat("(", 31) + "a{ii}" + Repeat(")", 31), emptyArray + emptyArray), true},
               {"32 structs around a dict",
                CallWith(Repeat("(", 32) + "a{ii}" + Repeat(")", 32), emptyArray + emptyArray), false},
               {"32 arrays of 32 structs",
                CallWith(Repeat("a", 32) + Repeat("(", 32) + "i" + Repeat(")", 32), emptyArray), true},
               {"a variant of 33 arrays",
                CallWith("v", "\x22" + Repeat("a", 33) + "i" + std::string("\0\0", 2) + emptyArray),
                false}};
  for (const auto& c : cases) {
    DBusMessage m;
    EXPECT_EQ(c.read ? long(c.wire.size()) : -1, ParseMessage(c.wire, m)) << c.what;
  }
}

// The connection on one end of a socketpair; the test plays the bus on the other.
struct FakeBus {
  int peer = -1;
  DBusConnection conn;
  size_t mostBuffered = 0;  // the connection's largest read buffer while bytes came
  FakeBus() {
    int sv[2];
    EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv));
    conn.Adopt(sv[0], ":1.5");
    peer = sv[1];
    fcntl(peer, F_SETFL, O_NONBLOCK);
  }
  ~FakeBus() { close(peer); }
  // Writes as the bus, the connection reading as the bytes go.
  void Deliver(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size() && conn.Connected();) {
      const ssize_t n = send(peer, bytes.data() + done, std::min<size_t>(bytes.size() - done, 65536),
                             MSG_NOSIGNAL);
      if (n > 0) done += size_t(n);
      conn.ReadAvailable();
      mostBuffered = std::max(mostBuffered, conn.BufferCapacity());
    }
    conn.ReadAvailable();
  }
  // What the connection wrote, as the bus reads it; queued messages are let out as it reads.
  std::vector<DBusMessage> Received() {
    std::string bytes;
    char buf[65536];
    for (;;) {
      conn.WriteQueued();
      const ssize_t n = recv(peer, buf, sizeof buf, 0);
      if (n > 0) bytes.append(buf, size_t(n));
      else if (!conn.WantsWrite()) break;
    }
    std::vector<DBusMessage> out;
    DBusMessage m;
    for (long used; (used = ParseMessage(bytes, m)) > 0; bytes.erase(0, size_t(used))) out.push_back(m);
    return out;
  }
};

// A call as the bus hands it on: from :1.9, numbered, with `body` under `signature`.
static std::string CallFrom(std::uint32_t serial, const std::string& signature, const std::string& body) {
  DBusMessage m = MethodCall(":1.5", "/org/a11y/atspi/accessible/root", "org.a11y.atspi.Accessible",
                             "GetRole");
  m.sender = ":1.9";
  m.serial = serial;
  m.signature = signature;
  m.body = body;
  return Marshal(m);
}

static std::string StringBody(size_t n) {
  std::string b{char(n & 0xFF), char((n >> 8) & 0xFF), char((n >> 16) & 0xFF), char(n >> 24)};
  return b + std::string(n, 'x') + '\0';
}

// What comes from a client on the bus: whatever is over the limit or nests too deep is read past
// (its caller told why) and the next call still comes through; only bytes that cannot be a
// message end the connection. No large message is kept whole, and a large buffer goes back.
TEST(DBusClient, ConnectionSkipsWhatItCannotTake) {
  const std::string next = CallFrom(99, "s", StringBody(4));
  std::string hugeFields = CallFrom(7, "", "").substr(0, 16) + std::string(2u << 20, '\0');
  hugeFields[12] = hugeFields[13] = 0, hugeFields[14] = 0x20;  // 2 MiB of header fields
  std::string notAMessage = next;
  notAMessage[0] = 'X';
  const struct {
    const char* what;
    std::string bytes;
    const char* answer;  // the error the caller gets back, "" for none
    size_t taken;        // messages that came through: the next call last, if any
    bool bigKept;        // a message of a MiB or more was read whole
  } cases[] = {
      {"a 2 MiB string", CallFrom(7, "s", StringBody(2u << 20)), kErrorLimitsExceeded, 1, false},
      {"2 MiB of header fields", hugeFields, "", 1, false},
      {"65 nested variants",
       CallFrom(7, "v", Repeat(std::string("\x01v\0", 3), 64) + std::string("\x01y\0\x2a", 4)),
       kErrorInvalidArgs, 1, false},
      {"a string just under the limit", CallFrom(7, "s", StringBody(kMaxPart - 5)), "", 2, true},
      {"200 MiB declared: no message", CallFrom(7, "s", StringBody(200u << 20)).substr(0, 4096), "", 0,
       false},
      {"not a message", notAMessage, "", 0, false},
  };
  for (const auto& c : cases) {
    FakeBus bus;
    bus.Deliver(c.bytes + next);
    std::vector<std::uint32_t> taken;
    while (bus.conn.HasMessage()) taken.push_back(bus.conn.Take().serial);
    EXPECT_EQ(c.taken > 0, bus.conn.Connected()) << c.what;
    EXPECT_EQ(c.taken, taken.size()) << c.what;
    EXPECT_EQ(c.taken > 0, !taken.empty() && taken.back() == 99u) << c.what;
    EXPECT_EQ(c.bigKept, bus.mostBuffered >= kMaxPart) << c.what;
    EXPECT_GE(kKeptReadBuffer, bus.conn.BufferCapacity()) << c.what;
    std::string answer;
    for (const DBusMessage& m : bus.Received())
      if (m.type == kError && m.replySerial == 7 && m.destination == ":1.9") answer = m.errorName;
    EXPECT_EQ(c.answer, answer) << c.what;
  }
}

// A bus that reads nothing: Send never waits, the queue stays within its bound by dropping the
// oldest, and a name that changes again replaces the one still queued. Once the bus reads, the
// newest of each gets through.
TEST(DBusClient, StalledBusQueueBound) {
  const struct {
    const char* what;
    bool sameKey;
    bool drops;
  } cases[] = {{"3000 different signals", false, true}, {"3000 names of one cell", true, false}};
  for (const auto& c : cases) {
    FakeBus bus;
    size_t mostQueued = 0;
    for (int k = 1; k <= 3000; ++k) {
      DBusMessage m = Signal("/org/a11y/atspi/accessible/3", "org.a11y.atspi.Event.Object", "PropertyChange");
      DBusWriter(m).Str("accessible-name").Int(k).Str(std::string(200, 'n'));
      ASSERT_TRUE(bus.conn.Send(std::move(m), c.sameKey ? "name 3" : "")) << c.what;
      mostQueued = std::max(mostQueued, bus.conn.QueuedBytes());
    }
    EXPECT_TRUE(bus.conn.WantsWrite()) << c.what;  // or the socket never filled: no test
    EXPECT_GE(kMaxQueuedBytes, mostQueued) << c.what;
    EXPECT_EQ(c.drops, bus.conn.Dropped() > 0) << c.what;
    EXPECT_EQ(c.sameKey, bus.conn.QueuedMessages() == 1) << c.what;
    const std::vector<DBusMessage> got = bus.Received();
    ASSERT_FALSE(got.empty()) << c.what;
    EXPECT_EQ(3000, DBusArgs(got.back()).Num(1)) << c.what;
    EXPECT_FALSE(bus.conn.WantsWrite()) << c.what;
  }
}

// Every object answers org.freedesktop.DBus.Peer; a call that wants no reply gets none.
TEST(DBusClient, PeerAnswers) {
  const struct {
    const char* interface;
    const char* member;
    std::uint8_t flags;
    std::uint8_t type;  // of the answer; 0: none
    const char* error;
  } cases[] = {{"org.freedesktop.DBus.Peer", "Ping", 0, kMethodReturn, ""},
               {"", "Ping", 0, kMethodReturn, ""},
               {"org.freedesktop.DBus.Peer", "GetMachineId", 0, kMethodReturn, ""},
               {"org.freedesktop.DBus.Peer", "Frobnicate", 0, kError, kErrorUnknownMethod},
               {"org.freedesktop.DBus.Peer", "Ping", 1, 0, ""}};
  for (const auto& c : cases) {
    FakeBus bus;
    DBusMessage call = MethodCall(":1.5", "/", c.interface, c.member);
    call.sender = ":1.9";
    call.serial = 12;
    call.flags = c.flags;
    EXPECT_TRUE(bus.conn.AnswerPeer(call)) << c.member;
    const std::vector<DBusMessage> got = bus.Received();
    ASSERT_EQ(c.type ? 1u : 0u, got.size()) << c.member;
    if (!c.type) continue;
    EXPECT_EQ(c.type, got[0].type) << c.member;
    EXPECT_EQ(12u, got[0].replySerial) << c.member;
    EXPECT_EQ(c.error, got[0].errorName) << c.member;
  }
  DBusMessage other = MethodCall(":1.5", "/", "org.a11y.atspi.Accessible", "GetRole");
  FakeBus bus;
  EXPECT_FALSE(bus.conn.AnswerPeer(other));
}

// A listener that takes no connection, or takes one and never answers, costs the start a bounded
// wait and a reason; before, a full backlog held the clock in connect() for good.
TEST(DBusClient, ListenerThatNeverAccepts) {
  const struct {
    const char* what;
    bool fill;  // the backlog: connections nobody accepts
    const char* reason;
  } cases[] = {{"backlog full", true, "accepted no connection"}, {"never answers", false, "did not answer"}};
  for (const auto& c : cases) {
    const std::string path = testing::TempDir() + "zorvane-listener-" + std::to_string(getpid());
    unlink(path.c_str());
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::snprintf(sa.sun_path, sizeof sa.sun_path, "%s", path.c_str());
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_EQ(0, bind(listener, reinterpret_cast<sockaddr*>(&sa), sizeof sa));
    ASSERT_EQ(0, listen(listener, 0));
    std::vector<int> waiting;
    while (c.fill) {
      const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
      waiting.push_back(fd);
      if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) break;
    }
    DBusConnection bus;
    EXPECT_FALSE(bus.Open("unix:path=" + path)) << c.what;
    EXPECT_NE(std::string::npos, bus.Error().find(c.reason)) << c.what << ": " << bus.Error();
    for (int fd : waiting) close(fd);
    close(listener);
    unlink(path.c_str());
  }
}
