// sway puts every floating X11 window at the screen's centre and centres it again whenever the
// window moves itself, so a spot can only be had by asking sway, over its IPC socket ($SWAYSOCK);
// and only sway knows where its bar leaves room (its workspaces' rectangles). The socket may be
// anything the environment names, so nothing here waits: each exchange (connect, ask, read the
// whole answer, framed by its header's length) is a few steps of the clock's own loop, taken as
// the socket is ready, with a quarter of a second in all. A socket that fails is left alone for
// a while (a second, doubling up to a minute), then asked again.
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <string>

#include "platform/common/json.h"
#include "platform/posix/deadline.h"
#include "platform/x11/x11_forms.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11 {
namespace {

using posix::ConnectState;
using posix::Deadline;
constexpr int kBudgetMs = 250;
constexpr std::int64_t kFirstPauseMs = 1000, kLongestPauseMs = 60'000;
constexpr std::int64_t kBusyRetryMs = 25;     // a full listener says nothing when it has room
constexpr std::int64_t kWorkspacesFreshMs = 1000;  // how long a workspace answer is taken as now
constexpr std::uint32_t kRunCommand = 0, kGetWorkspaces = 1;  // i3/sway IPC message types
constexpr size_t kHeader = 14;                                // "i3-ipc", length, type
constexpr std::uint32_t kMaxAnswer = 1 << 20;

struct Request {
  std::uint32_t type = 0;
  std::string payload;
  ::Window window = 0;  // the window a place is asked for; 0 for the workspaces
  // The answer's JSON, or null where there was none.
  std::function<void(const Json*)> done;
};

// The exchange in flight: the queue's front.
enum class Step { kIdle, kBusy, kConnecting, kSending, kReading };
struct Exchange {
  Step step = Step::kIdle;
  int fd = -1;
  Deadline until = Deadline::Never();
  std::int64_t retryAtMs = 0;
  std::string out;  // what is still to be sent
  std::string in;   // what came so far
};

std::deque<Request> g_queue;
Exchange g_now;
// After a failure sway is left alone until then, the pause doubling at each failure in a row.
std::int64_t g_pauseUntilMs = 0;
std::int64_t g_pauseMs = 0;
// The last answer to GET_WORKSPACES: the visible workspaces' rectangles, and when it came.
std::vector<PixelRect> g_visible;
std::int64_t g_workspacesAtMs = -1;

void Failed() {
  g_pauseMs = g_pauseMs == 0 ? kFirstPauseMs : std::min(g_pauseMs * 2, kLongestPauseMs);
  g_pauseUntilMs = posix::MonotonicMs() + g_pauseMs;
}

void Start();

// Ends the front exchange with its answer (nothing where it failed), and starts the next.
void Finish(const Json* answer) {
  if (g_now.fd >= 0) close(g_now.fd);
  g_now = Exchange{};
  Request r = std::move(g_queue.front());
  g_queue.pop_front();
  if (answer && answer->kind == Json::Kind::Array) {
    g_pauseMs = 0;
  } else {
    answer = nullptr;
    Failed();
  }
  if (r.done) r.done(answer);
  // Queued while sway is left alone: each is answered with nothing, as if asked.
  if (!answer) {
    std::deque<Request> dropped;
    dropped.swap(g_queue);
    for (Request& d : dropped)
      if (d.done) d.done(nullptr);
    return;
  }
  Start();
}

void Connected() {
  const Request& r = g_queue.front();
  g_now.out = "i3-ipc";
  const std::uint32_t head[2] = {std::uint32_t(r.payload.size()), r.type};
  g_now.out.append(reinterpret_cast<const char*>(head), sizeof head);
  g_now.out += r.payload;
  g_now.step = Step::kSending;
}

void TryConnect() {
  const char* sock = std::getenv("SWAYSOCK");
  sockaddr_un addr{};
  socklen_t len = 0;
  if (!sock || !posix::UnixAddress(sock, false, addr, len)) return Finish(nullptr);
  const posix::Connecting c = posix::ConnectUnix(addr, len);
  if (c.state == ConnectState::kFailed) return Finish(nullptr);
  if (c.state == ConnectState::kBusy) {
    g_now.step = Step::kBusy;
    g_now.retryAtMs = posix::MonotonicMs() + kBusyRetryMs;
    return;
  }
  g_now.fd = c.fd;
  if (c.state == ConnectState::kPending) g_now.step = Step::kConnecting;
  else Connected();
}

// Starts the front request, if none is in flight.
void Start() {
  if (g_queue.empty() || g_now.step != Step::kIdle) return;
  g_now.until = Deadline::In(kBudgetMs);
  TryConnect();
}

// Takes the exchange on as far as it goes now: the socket was ready (revents) or time passed.
void Advance(short revents) {
  if (g_now.step == Step::kIdle) return;
  if (g_now.until.Passed()) return Finish(nullptr);
  if (g_now.step == Step::kBusy) {
    if (posix::MonotonicMs() >= g_now.retryAtMs) TryConnect();
    return;
  }
  if (g_now.step == Step::kConnecting) {
    if (!(revents & (POLLOUT | POLLHUP | POLLERR))) return;
    int error = 0;
    if (posix::ConnectFinished(g_now.fd, error) != ConnectState::kConnected) return Finish(nullptr);
    Connected();
  }
  while (g_now.step == Step::kSending && !g_now.out.empty()) {
    const ssize_t n = send(g_now.fd, g_now.out.data(), g_now.out.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) g_now.out.erase(0, size_t(n));
    else if (n < 0 && errno == EINTR) continue;
    else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    else return Finish(nullptr);
  }
  g_now.step = Step::kReading;
  char buf[4096];
  for (;;) {
    // The header says how long the answer is: read no more than that.
    size_t want = kHeader;
    if (g_now.in.size() >= kHeader) {
      std::uint32_t words[2] = {0, 0};
      std::memcpy(words, g_now.in.data() + 6, sizeof words);
      if (g_now.in.compare(0, 6, "i3-ipc") != 0 || words[1] != g_queue.front().type ||
          words[0] > kMaxAnswer)
        return Finish(nullptr);
      want = kHeader + words[0];
      if (g_now.in.size() == want) {
        const std::optional<Json> json = ParseJson(g_now.in.substr(kHeader));
        return Finish(json ? &*json : nullptr);
      }
    }
    const ssize_t n = recv(g_now.fd, buf, std::min(sizeof buf, want - g_now.in.size()), MSG_DONTWAIT);
    if (n > 0) g_now.in.append(buf, size_t(n));
    else if (n < 0 && errno == EINTR) continue;
    else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    else return Finish(nullptr);
  }
}

void Ask(Request r) {
  if (!OnSway()) {
    if (r.done) r.done(nullptr);
    return;
  }
  // A place not yet sent for the same window gives way to the newer one.
  if (r.window)
    for (size_t k = g_now.step == Step::kIdle ? 0 : 1; k < g_queue.size(); ++k)
      if (g_queue[k].window == r.window) {
        g_queue[k] = std::move(r);
        return;
      }
  g_queue.push_back(std::move(r));
  Start();
}

}  // namespace

bool OnSway() {
  const char* sock = std::getenv("SWAYSOCK");
  return Server().xwayland && sock && *sock && posix::MonotonicMs() >= g_pauseUntilMs;
}

void AskSwayToPlace(::Window w, int x, int y) {
  Request r;
  r.type = kRunCommand;
  r.window = w;
  r.payload = "[id=" + std::to_string(w) + "] move absolute position " + std::to_string(x) + " " +
              std::to_string(y);
  // One result a command: [{"success": true}], or false with an error where no such window is.
  r.done = [w](const Json* a) {
    const bool ok = a && !a->items.empty() && a->items.front().IsTrue("success");
    if (FormWindow* f = FormWindowOf(w)) f->SwayPlaced(ok);
  };
  Ask(std::move(r));
}

std::optional<PixelRect> SwayWorkArea(const PixelRect& monitor) {
  // An answer older than a second is asked for again; the forms hear of any change it brings.
  const bool fresh = g_workspacesAtMs >= 0 && posix::MonotonicMs() - g_workspacesAtMs < kWorkspacesFreshMs;
  const bool asked = std::any_of(g_queue.begin(), g_queue.end(),
                                 [](const Request& r) { return r.type == kGetWorkspaces; });
  if (!fresh && !asked) {
    Request r;
    r.type = kGetWorkspaces;
    r.done = [](const Json* spaces) {
      if (!spaces) return;
      g_visible.clear();
      for (const Json& ws : spaces->items) {
        const Json* rect = ws.Find("rect");
        if (!ws.IsTrue("visible") || !rect) continue;
        const auto x = rect->NumberAt("x"), y = rect->NumberAt("y");
        const auto w = rect->NumberAt("width"), h = rect->NumberAt("height");
        if (x && y && w && h && *w > 0 && *h > 0)
          g_visible.push_back(PixelRect{int(*x), int(*y), int(*w), int(*h)});
      }
      g_workspacesAtMs = posix::MonotonicMs();
      WorkAreaMayHaveChanged();
    };
    Ask(std::move(r));
  }
  for (const PixelRect& r : g_visible) {
    const double cx = r.x + r.w / 2.0, cy = r.y + r.h / 2.0;
    if (cx >= monitor.x && cx < monitor.x + monitor.w && cy >= monitor.y && cy < monitor.y + monitor.h)
      return r;
  }
  return std::nullopt;
}

int SwayFd() { return g_now.step == Step::kIdle || g_now.step == Step::kBusy ? -1 : g_now.fd; }

short SwayEvents() {
  return g_now.step == Step::kConnecting || g_now.step == Step::kSending ? POLLOUT : POLLIN;
}

void SwayReady(short revents) { Advance(revents); }

std::int64_t SwayMsUntilDue() {
  if (g_now.step == Step::kIdle) return -1;
  std::int64_t due = g_now.until.LeftMs();
  if (g_now.step == Step::kBusy)
    due = std::min(due, std::max<std::int64_t>(0, g_now.retryAtMs - posix::MonotonicMs()));
  return due;
}

void SwayTick() {
  if (SwayMsUntilDue() == 0) Advance(0);
}

}  // namespace plat::x11
