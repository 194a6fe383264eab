// wlpointer: a pointer for the black-box tests on a wlroots compositor (sway), where XTEST moves
// only XWayland's own pointer and a compositor's move or its choice of surface never sees it.
//
// It speaks the Wayland wire protocol itself (no libwayland), creates one virtual pointer with
// zwlr_virtual_pointer_manager_v1 and plays a script, like xdotool's:
//   wlpointer WIDTH HEIGHT STEP...
//   STEP: move X Y | down | up | sleep SECONDS
// X and Y are layout pixels of a WIDTH x HEIGHT output. The device lives as long as the script,
// so a drag is one run. Exits 0 when every step was taken, 1 when the compositor refused, 2 on
// bad usage.

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

int sock = -1;
uint32_t nextId = 2;  // 1 is wl_display

constexpr uint32_t kDisplay = 1;
constexpr uint32_t kBtnLeft = 0x110;  // linux/input-event-codes.h

class Msg {
 public:
  Msg(uint32_t object, uint16_t opcode) : object_(object), opcode_(opcode) {}
  Msg& U(uint32_t v) {
    words_.push_back(v);
    return *this;
  }
  Msg& S(const std::string& s) {
    U(uint32_t(s.size() + 1));
    std::vector<uint32_t> pad((s.size() + 4) / 4, 0);
    std::memcpy(pad.data(), s.c_str(), s.size() + 1);
    words_.insert(words_.end(), pad.begin(), pad.end());
    return *this;
  }
  bool Send() const {
    std::vector<uint32_t> m{object_, uint32_t((words_.size() + 2) * 4) << 16 | opcode_};
    m.insert(m.end(), words_.begin(), words_.end());
    const char* p = reinterpret_cast<const char*>(m.data());
    size_t left = m.size() * 4;
    while (left) {
      ssize_t n = write(sock, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      p += n;
      left -= size_t(n);
    }
    return true;
  }

 private:
  uint32_t object_;
  uint16_t opcode_;
  std::vector<uint32_t> words_;
};

bool ReadAll(void* buf, size_t len) {
  char* p = static_cast<char*>(buf);
  while (len) {
    ssize_t n = read(sock, p, len);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    len -= size_t(n);
  }
  return true;
}

struct Global {
  uint32_t name = 0, version = 0;
};
Global seat, manager;

// Sends wl_display.sync and reads events until its callback is done: the compositor has handled
// everything sent before. Globals announced on the way are noted. False on a protocol error.
bool Roundtrip(uint32_t registry) {
  const uint32_t callback = nextId++;
  if (!Msg(kDisplay, 0).U(callback).Send()) return false;
  for (;;) {
    uint32_t head[2];
    if (!ReadAll(head, sizeof head)) return false;
    std::vector<uint32_t> body((head[1] >> 16) / 4 - 2);
    if (!ReadAll(body.data(), body.size() * 4)) return false;
    const uint32_t object = head[0], opcode = head[1] & 0xffff;
    if (object == kDisplay && opcode == 0) {  // error: object, code, message
      std::fprintf(stderr, "wlpointer: protocol error %u on object %u: %s\n", body[1], body[0],
                   reinterpret_cast<const char*>(&body[3]));
      return false;
    }
    if (object == callback) return true;
    if (object == registry && opcode == 0 && body.size() >= 3) {  // global: name, interface, version
      const std::string iface(reinterpret_cast<const char*>(&body[2]));
      Global g{body[0], body[2 + (body[1] + 3) / 4]};
      if (iface == "wl_seat" && !seat.name) seat = g;
      if (iface == "zwlr_virtual_pointer_manager_v1") manager = g;
    }
  }
}

bool Connect() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* display = std::getenv("WAYLAND_DISPLAY");
  if (!display) display = "wayland-0";
  std::string path = display[0] == '/' ? display : std::string(runtime ? runtime : "") + "/" + display;
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.c_str(), path.size());
  sock = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  return sock >= 0 && connect(sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
}

uint32_t NowMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return uint32_t(ts.tv_sec * 1000 + ts.tv_nsec / 1000000);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: wlpointer WIDTH HEIGHT [move X Y | down | up | sleep S]...\n");
    return 2;
  }
  const uint32_t width = uint32_t(std::atoi(argv[1])), height = uint32_t(std::atoi(argv[2]));
  if (!Connect()) {
    std::fprintf(stderr, "wlpointer: cannot connect to the Wayland display\n");
    return 1;
  }
  const uint32_t registry = nextId++;
  if (!Msg(kDisplay, 1).U(registry).Send() || !Roundtrip(registry)) return 1;
  if (!seat.name || !manager.name) {
    std::fprintf(stderr, "wlpointer: the compositor offers no %s\n",
                 seat.name ? "virtual pointer" : "seat");
    return 1;
  }
  const uint32_t seatId = nextId++, managerId = nextId++, pointer = nextId++;
  if (!Msg(registry, 0).U(seat.name).S("wl_seat").U(1).U(seatId).Send() ||
      !Msg(registry, 0).U(manager.name).S("zwlr_virtual_pointer_manager_v1").U(1).U(managerId).Send() ||
      !Msg(managerId, 0).U(seatId).U(pointer).Send() || !Roundtrip(registry))
    return 1;
  for (int i = 3; i < argc; ++i) {
    const std::string step = argv[i];
    bool sent = true;
    if (step == "move" && i + 2 < argc) {
      const uint32_t x = uint32_t(std::atoi(argv[i + 1])), y = uint32_t(std::atoi(argv[i + 2]));
      i += 2;
      sent = Msg(pointer, 1).U(NowMs()).U(x).U(y).U(width).U(height).Send() &&
             Msg(pointer, 4).Send();
    } else if (step == "down" || step == "up") {
      sent = Msg(pointer, 2).U(NowMs()).U(kBtnLeft).U(step == "down" ? 1 : 0).Send() &&
             Msg(pointer, 4).Send();
    } else if (step == "sleep" && i + 1 < argc) {
      const double s = std::atof(argv[++i]);
      timespec ts{time_t(s), long((s - double(time_t(s))) * 1e9)};
      while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
      }
      continue;
    } else {
      std::fprintf(stderr, "wlpointer: bad step '%s'\n", step.c_str());
      return 2;
    }
    if (!sent || !Roundtrip(registry)) return 1;
  }
  return 0;
}
