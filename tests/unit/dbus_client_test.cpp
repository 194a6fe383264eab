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

