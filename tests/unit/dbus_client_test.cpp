// The D-Bus wire format as the accessibility objects write and read it.
#include <gtest/gtest.h>

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
