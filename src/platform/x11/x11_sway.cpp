// sway puts every floating X11 window at the screen's centre and centres it again whenever the
// window moves itself, so a spot can only be had by asking sway, over its IPC socket ($SWAYSOCK);
// and only sway knows where its bar leaves room (its workspaces' rectangles). The socket may be
// anything the environment names, so nothing here waits long: each exchange (connect, ask, read
// the whole answer) has a quarter of a second in all. A socket that fails is left alone for a
// while (a second, doubling up to a minute), then asked again.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/common/json.h"
#include "platform/posix/deadline.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11 {
namespace {

using posix::Deadline;
constexpr int kBudgetMs = 250;
constexpr std::int64_t kFirstPauseMs = 1000, kLongestPauseMs = 60'000;
constexpr std::uint32_t kRunCommand = 0, kGetWorkspaces = 1;  // i3/sway IPC message types
constexpr size_t kHeader = 14;                                // "i3-ipc", length, type
constexpr std::uint32_t kMaxAnswer = 1 << 20;

// After a failure sway is left alone until then, the pause doubling at each failure in a row.
std::int64_t g_pauseUntilMs = 0;
std::int64_t g_pauseMs = 0;

void Failed() {
  g_pauseMs = g_pauseMs == 0 ? kFirstPauseMs : std::min(g_pauseMs * 2, kLongestPauseMs);
  g_pauseUntilMs = posix::MonotonicMs() + g_pauseMs;
}

int Connect(const char* path, const Deadline& deadline) {
  sockaddr_un addr{};
  socklen_t len = 0;
  int error = 0;
  if (!posix::UnixAddress(path, false, addr, len)) return -1;
  return posix::ConnectUnixWithin(addr, len, deadline, error);
}

bool SendAll(int fd, const std::string& m, const Deadline& deadline) {
  for (size_t sent = 0; sent < m.size();) {
    const ssize_t n = send(fd, m.data() + sent, m.size() - sent, MSG_NOSIGNAL);
    if (n > 0) sent += size_t(n);
    else if (n < 0 && errno == EINTR) continue;
    else if (n < 0 && errno == EAGAIN && posix::WaitFor(fd, POLLOUT, deadline)) continue;
    else return false;
  }
  return true;
}

// Reads exactly `size` bytes more into `into`.
bool ReadAll(int fd, std::string& into, size_t size, const Deadline& deadline) {
  const size_t want = into.size() + size;
  char buf[4096];
  while (into.size() < want) {
    const ssize_t n = recv(fd, buf, std::min(sizeof buf, want - into.size()), 0);
    if (n > 0) into.append(buf, size_t(n));
    else if (n < 0 && errno == EINTR) continue;
    else if (n < 0 && errno == EAGAIN && posix::WaitFor(fd, POLLIN, deadline)) continue;
    else return false;
  }
  return true;
}

// One message to sway and the payload of its answer, framed by the answer's header; nothing
// where the socket is not sway's or takes too long.
std::optional<std::string> Exchange(std::uint32_t type, const std::string& payload) {
  const char* sock = std::getenv("SWAYSOCK");
  if (!sock || !*sock) return std::nullopt;
  const Deadline deadline = Deadline::In(kBudgetMs);
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

// A socket that does not answer as sway does is left alone for a while: each try could cost
// the quarter second of waiting.
std::optional<Json> Ask(std::uint32_t type, const std::string& payload) {
  if (!OnSway()) return std::nullopt;
  std::optional<std::string> answer = Exchange(type, payload);
  std::optional<Json> json = answer ? ParseJson(*answer) : std::nullopt;
  if (!json || json->kind != Json::Kind::Array) {
    Failed();
    return std::nullopt;
  }
  g_pauseMs = 0;
  return json;
}

}  // namespace

bool OnSway() {
  const char* sock = std::getenv("SWAYSOCK");
  return Server().xwayland && sock && *sock && posix::MonotonicMs() >= g_pauseUntilMs;
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
