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

class DBusConnection {
 public:
  DBusConnection() = default;
  ~DBusConnection();
  DBusConnection(const DBusConnection&) = delete;
  DBusConnection& operator=(const DBusConnection&) = delete;
  // Connects to a bus address (unix:path= or unix:abstract=), authenticates as this user and
  // says Hello; false (and the reason said once) when it cannot.
  bool Open(const std::string& address);
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
  std::string in_;  // bytes read, not yet a whole message
  std::deque<DBusMessage> incoming_;
};

}  // namespace plat::posix
