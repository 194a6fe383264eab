// sway puts every floating X11 window at the screen's centre and centres it again whenever the
// window moves itself, so a spot can only be had by asking sway: one command over its IPC socket
// ($SWAYSOCK). The socket may be anything the environment names, so nothing here waits long: the
// connection and the answer each get a quarter of a second, and a socket that fails once is left.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/x11/x11_internal.h"

namespace plat::x11 {
namespace {

constexpr int kWaitMs = 250;
constexpr std::uint32_t kRunCommand = 0;  // i3/sway IPC message type

bool unreachable = false;  // the socket failed once: no sway to ask for the rest of the run

bool WaitFor(int fd, short events) {
  pollfd p{fd, events, 0};
  int n;
  while ((n = poll(&p, 1, kWaitMs)) < 0 && errno == EINTR) {
  }
  return n == 1 && (p.revents & events);
}

int Connect(const char* path) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof addr.sun_path) return -1;
  std::strcpy(addr.sun_path, path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  int err = 0;
  socklen_t len = sizeof err;
  if ((errno == EINPROGRESS || errno == EAGAIN) && WaitFor(fd, POLLOUT) &&
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
    return fd;
  close(fd);
  return -1;
}

enum class Answer { kDone, kRefused, kNone };

// Sends one command and reads sway's answer.
Answer RunCommand(int fd, const std::string& command) {
  std::string m = "i3-ipc";
  const std::uint32_t head[2] = {std::uint32_t(command.size()), kRunCommand};
  m.append(reinterpret_cast<const char*>(head), sizeof head);
  m += command;
  for (size_t sent = 0; sent < m.size();) {
    const ssize_t n = send(fd, m.data() + sent, m.size() - sent, MSG_NOSIGNAL);
    if (n > 0) sent += size_t(n);
    else if (n < 0 && errno == EINTR) continue;
    else if (n < 0 && errno == EAGAIN && WaitFor(fd, POLLOUT)) continue;
    else return Answer::kNone;
  }
  // The answer is small: a 14-byte header, then [{"success": true}] or an error.
  std::string answer;
  char buf[512];
  while (answer.size() < 4096 && WaitFor(fd, POLLIN)) {
    const ssize_t n = recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    answer.append(buf, size_t(n));
    if (answer.size() > 14 && answer.find(']', 14) != std::string::npos) break;
  }
  if (answer.compare(0, 6, "i3-ipc") != 0 || answer.find(']', 14) == std::string::npos)
    return Answer::kNone;
  return answer.find("\"success\": true") != std::string::npos ||
                 answer.find("\"success\":true") != std::string::npos
             ? Answer::kDone
             : Answer::kRefused;
}

}  // namespace

bool OnSway() {
  const char* sock = std::getenv("SWAYSOCK");
  return Server().xwayland && !unreachable && sock && *sock;
}

bool AskSwayToPlace(::Window w, int x, int y) {
  if (!OnSway()) return false;
  const int fd = Connect(std::getenv("SWAYSOCK"));
  const Answer a = fd < 0 ? Answer::kNone
                          : RunCommand(fd, "[id=" + std::to_string(w) + "] move absolute position " +
                                               std::to_string(x) + " " + std::to_string(y));
  if (fd >= 0) close(fd);
  // A socket that does not answer as sway does is not asked again: each try could cost the
  // half second of waiting.
  if (a == Answer::kNone) unreachable = true;
  return a == Answer::kDone;
}

}  // namespace plat::x11
