// The D-Bus wire format: messages, and the values in them, written and read as the bytes a bus
// carries. Only what the accessibility objects need (dbus_client.h has the connection).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace plat::posix {

enum : std::uint8_t { kMethodCall = 1, kMethodReturn = 2, kError = 3, kSignal = 4 };
// Type codes of containers, as Open takes them.
enum : char { kArray = 'a', kStruct = '(', kVariant = 'v', kDictEntry = '{' };

struct DBusMessage {
  std::uint8_t type = kMethodCall;
  std::uint8_t flags = 0;  // 1: no reply expected, 2: do not start the destination
  std::uint32_t serial = 0, replySerial = 0;
  std::string path, interface, member, errorName, destination, sender, signature;
  std::string body;  // marshalled arguments, little-endian (or as the sender wrote them)
  bool bigEndian = false;
};

DBusMessage MethodCall(const std::string& destination, const std::string& path,
                       const std::string& interface, const std::string& member);
DBusMessage Signal(const std::string& path, const std::string& interface, const std::string& member);
DBusMessage ReturnFor(const DBusMessage& call);
DBusMessage ErrorFor(const DBusMessage& call, const std::string& name, const std::string& text);

// Appends arguments to a message's body and signature.
class DBusWriter {
 public:
  explicit DBusWriter(DBusMessage& message);
  // A container inside: an array of `signature` elements, a variant holding one `signature`
  // value, a struct or a dict entry (signature unused). Closed when it goes out of scope.
  DBusWriter(DBusWriter& parent, char type, const char* signature);
  ~DBusWriter();
  DBusWriter(const DBusWriter&) = delete;
  DBusWriter& operator=(const DBusWriter&) = delete;
  DBusWriter& Str(const std::string& s);
  DBusWriter& Path(const std::string& p);
  DBusWriter& Int(int v);
  DBusWriter& Uint(unsigned v);
  DBusWriter& Boolean(bool v);
  // (so): a bus name and an object path, as AT-SPI names an object.
  DBusWriter& Ref(const std::string& bus, const std::string& path);

 private:
  void Type(const char* code);
  void Align(size_t n);
  void Put32(std::uint32_t v);
  void PutString(char code, const std::string& s);
  std::string& body_;
  std::string* sig_;  // where this level's type codes go; null inside an array or a variant
  DBusWriter* parent_ = nullptr;
  char type_ = 0;
  size_t lengthAt_ = 0, startAt_ = 0;  // an array's length field and its first element
  std::string structSig_;
};

// A message's arguments by position, as far as they are numbers or strings (a variant reads as
// what it holds, a struct as its first member); others and missing ones read 0 and "".
class DBusArgs {
 public:
  explicit DBusArgs(const DBusMessage& message);
  long long Num(size_t index) const { return index < nums_.size() ? nums_[index] : 0; }
  std::string Str(size_t index) const { return index < strs_.size() ? strs_[index] : ""; }

 private:
  std::vector<long long> nums_;
  std::vector<std::string> strs_;
};

// The standard error names a call may get back.
inline constexpr const char* kErrorUnknownMethod = "org.freedesktop.DBus.Error.UnknownMethod";
inline constexpr const char* kErrorUnknownObject = "org.freedesktop.DBus.Error.UnknownObject";

inline constexpr const char* kErrorInvalidArgs = "org.freedesktop.DBus.Error.InvalidArgs";
inline constexpr const char* kErrorFailed = "org.freedesktop.DBus.Error.Failed";
inline constexpr const char* kErrorLimitsExceeded = "org.freedesktop.DBus.Error.LimitsExceeded";

// The most a message's header fields or its body may take here. D-Bus allows 128 MiB for a whole
// message; the calls a screen reader makes take a few hundred bytes, and a larger one from a
// client on the bus is read past without being kept.
inline constexpr std::uint32_t kMaxPart = 1u << 20;
// How deep values may nest, as D-Bus allows: 32 arrays and 32 structs within one signature, 64
// containers in all (variants count).
inline constexpr int kMaxArrayDepth = 32, kMaxStructDepth = 32, kMaxDepth = 64;

// What the fixed header at the front of a byte stream says.
struct Frame {
  // kIncomplete: fewer than 16 bytes, or a message not all there yet; kTooLarge: a header or
  // body over kMaxPart, whether there or not; kMalformed: no message can start here.
  enum Kind { kIncomplete, kWhole, kTooLarge, kMalformed } kind = kIncomplete;
  size_t length = 0;     // the whole message, padding included (0 before 16 bytes)
  size_t fieldsEnd = 0;  // where its header fields end
};
Frame PeekFrame(const std::string& bytes);
// The message's header from the front of `bytes`, its body left empty; false when the fields are
// not all there or are malformed.
bool ParseHeader(const std::string& bytes, DBusMessage& out);
// Parses one message from the front of `bytes`; its length, 0 when incomplete, -1 when malformed,
// over kMaxPart, or nested deeper than D-Bus allows.
long ParseMessage(const std::string& bytes, DBusMessage& out);
// The message in the wire format, as Send writes it.
std::string Marshal(const DBusMessage& message);

}  // namespace plat::posix
