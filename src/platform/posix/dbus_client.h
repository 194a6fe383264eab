// A small D-Bus client: one connection to a bus over a Unix socket (the messages: dbus_wire.h).
// It is what the accessibility objects need and no more, written here rather
// than taken from libdbus: Debian's libdbus brings libsystemd, libgcrypt and three compression
// libraries with it, over a megabyte resident, for a program that must stay under 8 MB idle.
#pragma once
#include <cstdint>
#include <deque>
#include <string>

#include "platform/posix/dbus_wire.h"

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

class DBusConnection {
 public:
  DBusConnection() = default;
  ~DBusConnection();
  DBusConnection(const DBusConnection&) = delete;
  DBusConnection& operator=(const DBusConnection&) = delete;
  // Connects to a bus address (unix:path= or unix:abstract=), authenticates as this user and
  // says Hello; false when it cannot, and Error() says why.
  bool Open(const std::string& address);
  const std::string& Error() const { return error_; }
  int Fd() const { return fd_; }
  const std::string& UniqueName() const { return unique_; }
  bool Connected() const { return fd_ >= 0; }
  // Sends at once; numbers the message.
  bool Send(DBusMessage message);
  // Sends and waits up to timeoutMs for the reply (an error reply counts); messages that come
  // meanwhile are kept for Take.
  bool Call(DBusMessage message, int timeoutMs, DBusMessage& reply);
  // Reads what has arrived without waiting; false when the bus went away.
  bool ReadAvailable();
  bool HasMessage() const { return !incoming_.empty(); }
  DBusMessage Take();
  void Close();

 private:
  bool ReadSome(int timeoutMs);
  bool WriteAll(const std::string& bytes);
  int fd_ = -1;
  std::uint32_t serial_ = 0;
  std::string unique_;
  std::string error_;
  std::string in_;  // bytes read, not yet a whole message
  std::deque<DBusMessage> incoming_;
};

}  // namespace plat::posix
