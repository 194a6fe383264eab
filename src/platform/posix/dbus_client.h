// A small D-Bus client: one connection to a bus over a Unix socket (the messages: dbus_wire.h).
// It is what the accessibility objects need and no more, written here rather
// than taken from libdbus: Debian's libdbus brings libsystemd, libgcrypt and three compression
// libraries with it, over a megabyte resident, for a program that must stay under 8 MB idle.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "platform/posix/dbus_wire.h"
#include "platform/posix/deadline.h"

namespace plat::posix {

// A socket named in a bus address.
struct UnixSocketAddress {
  std::string path;
  bool abstract = false;  // in the abstract namespace: no file
};
enum class AddressEntry { kUnix, kOther, kBad };
// One entry of a bus address ("unix:path=/run/user/1000/bus,guid=..."), its %xx escapes undone:
// kOther for another transport or no path, kBad for an escape that is not two hex digits.
AddressEntry ParseUnixAddress(const std::string& entry, UnixSocketAddress& out);
// False when an entry of the address (entries are separated by ';') has a bad escape.
bool AddressValid(const std::string& address);

// What may wait for a bus that does not read: some hundreds of signals and replies. Past it the
// oldest go.
inline constexpr size_t kMaxQueuedBytes = 128 * 1024;
// The read buffer kept between messages; a larger one, grown for a big message, goes back.
inline constexpr size_t kKeptReadBuffer = 64 * 1024;

class DBusConnection {
 public:
  DBusConnection() = default;
  ~DBusConnection();
  DBusConnection(const DBusConnection&) = delete;
  DBusConnection& operator=(const DBusConnection&) = delete;
  // Connects to a bus address (unix:path= or unix:abstract=), authenticates as this user and
  // says Hello, all within a second; false when it cannot, and Error() says why.
  bool Open(const std::string& address);
  // The same without waiting, for a loop that waits on many things: BeginOpen starts it, and
  // Advance takes it on whenever the loop's poll saw Fd() ready (its revents; POLLOUT asked for
  // while WantsWrite) or RetryAtMs() came. The loop keeps the time limit: GiveUpOpening ends a
  // try that ran out of it, and says why in Error().
  enum class Opening { kGoing, kDone, kFailed };
  Opening BeginOpen(const std::string& address);
  Opening Advance(short revents);
  void GiveUpOpening(int ms);
  // When a busy listener is to be asked again (monotonic ms); -1 when the socket is what to
  // wait on. Fd() is -1 meanwhile.
  std::int64_t RetryAtMs() const;
  // Takes a connected socket whose bus already knows us by uniqueName (a test hands it one end
  // of a socketpair).
  void Adopt(int fd, const std::string& uniqueName);
  const std::string& Error() const { return error_; }
  int Fd() const { return fd_; }
  const std::string& UniqueName() const { return unique_; }
  bool Connected() const { return fd_ >= 0 && step_ == Step::kOpen; }
  // Numbers the message and writes what the socket takes now, never waiting; the rest is queued
  // for WriteQueued. A message with a key replaces a queued one of that key that has not started
  // out (a name that changed again). False when the bus went away.
  bool Send(DBusMessage message, const std::string& key = "");
  // Whether messages wait for the socket to take them (or a connect to finish): then poll for
  // POLLOUT too.
  bool WantsWrite() const { return !out_.empty() || step_ == Step::kConnecting; }
  // Writes what is queued as far as the socket takes it; false when the bus went away.
  bool WriteQueued();
  size_t QueuedBytes() const { return queued_; }
  size_t QueuedMessages() const { return out_.size(); }
  size_t Dropped() const { return dropped_; }
  // Takes the reply (or error) to the message of that serial, when it has come.
  bool TakeReply(std::uint32_t serial, DBusMessage& reply);
  // The serial of the last message sent.
  std::uint32_t LastSerial() const { return serial_; }
  // Reads what has arrived without waiting; false when the bus went away. A message over
  // kMaxPart is read past without being kept (its caller gets LimitsExceeded), one that nests
  // too deep is dropped (InvalidArgs): the connection stays.
  bool ReadAvailable();
  bool HasMessage() const { return !incoming_.empty(); }
  DBusMessage Take();
  // Answers org.freedesktop.DBus.Peer (Ping, GetMachineId), which every object has; false when
  // the call is not for it.
  bool AnswerPeer(const DBusMessage& call);
  void Close();
  // After the messages taken are handled: memory that a large one took goes back to the system.
  void GiveBackMemory();
  // The read buffer's capacity, which goes back after a big message.
  size_t BufferCapacity() const { return in_.capacity(); }

 private:
  struct Outgoing {
    std::string bytes;
    std::string key;
  };
  // Where an open stands: a busy listener is asked again, a connect finishes, SASL, Hello.
  enum class Step { kClosed, kBusy, kConnecting, kAuth, kHello, kOpen };
  Opening Failed(const std::string& why);
  void Queue(std::string bytes, const std::string& key);
  void TakeMessages();
  void SkipFront(size_t length);
  void Refuse(const DBusMessage& header, const char* error, const char* text);
  int fd_ = -1;
  Step step_ = Step::kClosed;
  std::string entry_;  // the address entry being opened
  sockaddr_un peer_{};
  socklen_t peerLength_ = 0;
  std::int64_t retryAtMs_ = 0;
  std::uint32_t helloSerial_ = 0;
  bool authenticated_ = false;  // past BEGIN: what comes is messages, not lines
  std::uint32_t serial_ = 0;
  std::string unique_;
  std::string error_;
  std::string in_;  // bytes read, not yet a whole message
  size_t skip_ = 0;  // bytes of a message too large to keep, still to read past
  std::deque<DBusMessage> incoming_;
  std::deque<Outgoing> out_;
  size_t queued_ = 0;  // bytes in out_
  size_t sent_ = 0;    // of out_.front(), already written
  size_t dropped_ = 0;
  bool tookLarge_ = false;  // a message over kKeptReadBuffer was taken since GiveBackMemory
};

}  // namespace plat::posix
