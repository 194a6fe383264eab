// Fuzz target for the D-Bus message reader: any process on the accessibility bus can send the
// clock a message. Parse the input; a message that parses must give up its arguments without
// reading past its body, and written out again must read back with the same header.
// Built with libFuzzer by `make fuzz`; replay_main.cpp runs the committed corpus as a test.
//
// Each input is tried twice: as it is, and with its body length set to the bytes after the
// header fields. The mutator seldom grows a body and its length together; the second try lets
// a repeated part (a variant in a variant ...) nest as deep as the input is long.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/dbus_wire.h"

using plat::posix::DBusMessage;

namespace {

void Check(const std::string& bytes) {
  DBusMessage m;
  const long used = plat::posix::ParseMessage(bytes, m);
  if (used <= 0) return;
  if (std::size_t(used) > bytes.size()) std::abort();
  plat::posix::DBusArgs args(m);
  (void)args.Str(0);
  if (m.bigEndian) return;  // written back little-endian, its body would not read the same
  DBusMessage again;
  if (plat::posix::ParseMessage(plat::posix::Marshal(m), again) <= 0 || again.path != m.path ||
      again.member != m.member || again.interface != m.interface || again.signature != m.signature ||
      again.body != m.body || again.serial != m.serial || again.replySerial != m.replySerial) {
    std::fprintf(stderr, "dbus_message_fuzz: the header did not survive a round trip\n");
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  Check(bytes);
  if (size < 16) return 0;
  const bool big = bytes[0] == 'B';
  std::size_t fieldsLen = 0;
  for (int k = 0; k < 4; ++k)
    fieldsLen |= std::size_t(data[12 + k]) << (8 * (big ? 3 - k : k));
  const std::size_t bodyAt = (16 + fieldsLen + 7) / 8 * 8;
  if (size <= bodyAt || size - bodyAt > 0xFFFFFFFFu) return 0;
  const std::uint32_t len = std::uint32_t(size - bodyAt);
  for (int k = 0; k < 4; ++k)
    bytes[4 + std::size_t(k)] = char(big ? len >> (8 * (3 - k)) : len >> (8 * k));
  Check(bytes);
  return 0;
}
