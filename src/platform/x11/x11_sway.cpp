// sway puts every floating X11 window at the screen's centre and centres it again whenever the
// window moves itself, so a spot can only be had by asking sway, over its IPC socket ($SWAYSOCK);
// and only sway knows where its bar leaves room (its workspaces' rectangles). The socket may be
// anything the environment names, so nothing here waits long: each exchange (connect, ask, read
// the whole answer) has a quarter of a second in all, and a socket that fails once is left.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/common/json.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11 {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kBudget = std::chrono::milliseconds(250);
constexpr std::uint32_t kRunCommand = 0, kGetWorkspaces = 1;  // i3/sway IPC message types
constexpr size_t kHeader = 14;                                // "i3-ipc", length, type
constexpr std::uint32_t kMaxAnswer = 1 << 20;

bool unreachable = false;  // the socket failed once: no sway to ask for the rest of the run

// Waits for the events until the deadline; false when it passed first or the socket failed.
bool WaitFor(int fd, short events, Clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, int(left));
    if (n < 0 && errno == EINTR) continue;
    return n == 1 && (p.revents & events);
  }
}

int Connect(const char* path, Clock::time_point deadline) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof addr.sun_path) return -1;
  std::strcpy(addr.sun_path, path);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) return fd;
  int err = 0;
  socklen_t len = sizeof err;
  if ((errno == EINPROGRESS || errno == EAGAIN) && WaitFor(fd, POLLOUT, deadline) &&
      getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
    return fd;
  close(fd);
  return -1;
}

bool SendAll(int fd, const std::string& m, Clock::time_point deadline) {
  for (size_t sent = 0; sent < m.size();) {
    const ssize_t n = send(fd, m.data() + sent, m.size() - sent, MSG_NOSIGNAL);
    if (n > 0) sent += size_t(n);
    else if (n < 0 && errno == EINTR) continue;
    else if (n < 0 && errno == EAGAIN && WaitFor(fd, POLLOUT, deadline)) continue;
    else return false;
  }
  return true;
}

// Reads exactly `size` bytes more into `into`.
bool ReadAll(int fd, std::string& into, size_t size, Clock::time_point deadline) {
  const size_t want = into.size() + size;
  char buf[4096];
  while (into.size() < want) {
    const ssize_t n = recv(fd, buf, std::min(sizeof buf, want - into.size()), 0);
    if (n > 0) into.append(buf, size_t(n));
    else if (n < 0 && errno == EINTR) continue;
    else if (n < 0 && errno == EAGAIN && WaitFor(fd, POLLIN, deadline)) continue;
    else return false;
  }
  return true;
}

// One message to sway and the payload of its answer, framed by the answer's header; nothing
// where the socket is not sway's or takes too long.
std::optional<std::string> Exchange(std::uint32_t type, const std::string& payload) {
  const char* sock = std::getenv("SWAYSOCK");
  if (!sock || !*sock) return std::nullopt;
  const Clock::time_point deadline = Clock::now() + kBudget;
  const int fd = Connect(sock, deadline);
  if (fd < 0) return std::nullopt;
  std::string m = "i3-ipc";
  const std::uint32_t head[2] = {std::uint32_t(payload.size()), type};
  m.append(reinterpret_cast<const char*>(head), sizeof head);
  m += payload;
  std::string answer;
  std::uint32_t words[2] = {0, 0};
  bool ok = SendAll(fd, m, deadline) && ReadAll(fd, answer, kHeader, deadline) &&
            answer.compare(0, 6, "i3-ipc") == 0;
  if (ok) {
    std::memcpy(words, answer.data() + 6, sizeof words);
    ok = words[1] == type && words[0] <= kMaxAnswer &&
         ReadAll(fd, answer, words[0], deadline);
  }
  close(fd);
  if (!ok) return std::nullopt;
  return answer.substr(kHeader);
}

// A socket that does not answer as sway does is not asked again: each try could cost the
// quarter second of waiting.
std::optional<Json> Ask(std::uint32_t type, const std::string& payload) {
  if (!OnSway()) return std::nullopt;
  std::optional<std::string> answer = Exchange(type, payload);
  std::optional<Json> json = answer ? ParseJson(*answer) : std::nullopt;
  if (!json || json->kind != Json::Kind::Array) unreachable = true;
  if (!json) return std::nullopt;
  return json;
}

}  // namespace

bool OnSway() {
  const char* sock = std::getenv("SWAYSOCK");
  return Server().xwayland && !unreachable && sock && *sock;
}

bool AskSwayToPlace(::Window w, int x, int y) {
  const std::optional<Json> a =
      Ask(kRunCommand, "[id=" + std::to_string(w) + "] move absolute position " +
                           std::to_string(x) + " " + std::to_string(y));
  // One result a command: [{"success": true}], or false with an error where no such window is.
  return a && a->kind == Json::Kind::Array && !a->items.empty() && a->items.front().IsTrue("success");
}

std::optional<PixelRect> SwayWorkArea(const PixelRect& monitor) {
  const std::optional<Json> spaces = Ask(kGetWorkspaces, "");
  if (!spaces || spaces->kind != Json::Kind::Array) return std::nullopt;
  for (const Json& ws : spaces->items) {
    const Json* rect = ws.Find("rect");
    if (!ws.IsTrue("visible") || !rect) continue;
    const auto x = rect->NumberAt("x"), y = rect->NumberAt("y");
    const auto w = rect->NumberAt("width"), h = rect->NumberAt("height");
    if (!x || !y || !w || !h || *w <= 0 || *h <= 0) continue;
    const double cx = *x + *w / 2, cy = *y + *h / 2;
    if (cx >= monitor.x && cx < monitor.x + monitor.w && cy >= monitor.y && cy < monitor.y + monitor.h)
      return PixelRect{int(*x), int(*y), int(*w), int(*h)};
  }
  return std::nullopt;
}

}  // namespace plat::x11
