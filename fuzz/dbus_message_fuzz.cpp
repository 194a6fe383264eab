// Fuzz target for the D-Bus message reader: any process on the accessibility bus can send the
// clock a message. Parse the input; a message that parses must give up its arguments without
// reading past its body, and written out again must read back with the same header.
// Built with libFuzzer by `make fuzz`; replay_main.cpp runs the committed corpus as a test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/dbus_wire.h"

using plat::posix::DBusMessage;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  DBusMessage m;
  const long used = plat::posix::ParseMessage(bytes, m);
  if (used <= 0) return 0;
  if (std::size_t(used) > size) std::abort();
  plat::posix::DBusArgs args(m);
  (void)args.Str(0);
  if (m.bigEndian) return 0;  // written back little-endian, its body would not read the same
  DBusMessage again;
  if (plat::posix::ParseMessage(plat::posix::Marshal(m), again) <= 0 || again.path != m.path ||
      again.member != m.member || again.interface != m.interface || again.signature != m.signature ||
      again.body != m.body || again.serial != m.serial || again.replySerial != m.replySerial) {
    std::fprintf(stderr, "dbus_message_fuzz: the header did not survive a round trip\n");
    std::abort();
  }
  return 0;
}
