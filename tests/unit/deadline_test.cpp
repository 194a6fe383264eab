// The POSIX waits: a poll that a signal breaks off goes on until its deadline, and a Unix
// connect takes neither a full listener nor a socket that is merely writable for connected.
#include <gtest/gtest.h>
#include <sys/time.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/posix/deadline.h"

namespace plat::posix {
namespace {

struct Listener {
  explicit Listener(int backlog) {
    path = "/tmp/zorvane-deadline-" + std::to_string(getpid()) + ".sock";
    unlink(path.c_str());
    fd = socket(AF_UNIX, SOCK_STREAM, 0);
    UnixAddress(path, false, addr, len);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), len);
    listen(fd, backlog);
  }
  ~Listener() {
    for (int c : held) close(c);
    close(fd);
    unlink(path.c_str());
  }
  // Connects until the backlog takes no more.
  void Fill() {
    for (;;) {
      Connecting c = ConnectUnix(addr, len);
      if (c.state != ConnectState::kConnected) break;
      held.push_back(c.fd);
    }
  }
  std::string path;
  int fd = -1;
  sockaddr_un addr{};
  socklen_t len = 0;
  std::vector<int> held;
};

TEST(Connect, AListenerWithRoomConnectsOneWithNoneIsBusyNoneIsAFailure) {
  Listener l(4);
  Connecting c = ConnectUnix(l.addr, l.len);
  ASSERT_EQ(c.state, ConnectState::kConnected);
  int error = 0;
  EXPECT_EQ(ConnectFinished(c.fd, error), ConnectState::kConnected);
  close(c.fd);

  l.Fill();
  ASSERT_FALSE(l.held.empty());
  Connecting busy = ConnectUnix(l.addr, l.len);
  EXPECT_EQ(busy.state, ConnectState::kBusy);
  EXPECT_EQ(busy.fd, -1);
  EXPECT_EQ(busy.error, EAGAIN);

  sockaddr_un nowhere{};
  socklen_t len = 0;
  ASSERT_TRUE(UnixAddress("/tmp/zorvane-deadline-none.sock", false, nowhere, len));
  EXPECT_EQ(ConnectUnix(nowhere, len).state, ConnectState::kFailed);
}

TEST(Connect, AWritableSocketThatNeverConnectedIsNotConnected) {
  // What poll() says of a socket whose connect came to nothing: writable and hung up.
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0);
  pollfd p{fd, POLLOUT, 0};
  ASSERT_EQ(poll(&p, 1, 0), 1);
  int error = 0;
  EXPECT_EQ(ConnectFinished(fd, error), ConnectState::kFailed);
  EXPECT_NE(error, 0);
  close(fd);
}

TEST(Connect, AddressesTooLongOrEmptyAreRefused) {
  sockaddr_un a{};
  socklen_t len = 0;
  EXPECT_FALSE(UnixAddress("", false, a, len));
  EXPECT_FALSE(UnixAddress(std::string(sizeof a.sun_path, 'x'), false, a, len));
  EXPECT_FALSE(UnixAddress(std::string(sizeof a.sun_path - 1, 'x'), true, a, len));
  ASSERT_TRUE(UnixAddress("bus", true, a, len));
  EXPECT_EQ(a.sun_path[0], '\0');
  EXPECT_EQ(std::string(a.sun_path + 1, 3), "bus");
}

TEST(PollUntil, ASignalDoesNotEndTheWaitBeforeItsDeadline) {
  struct sigaction wake {}, old {};
  wake.sa_handler = [](int) {};
  sigaction(SIGALRM, &wake, &old);  // no SA_RESTART: poll() comes back with EINTR
  itimerval every5ms{{0, 5000}, {0, 5000}}, off{};
  setitimer(ITIMER_REAL, &every5ms, nullptr);
  int pipeFds[2];
  ASSERT_EQ(pipe(pipeFds), 0);
  pollfd p{pipeFds[0], POLLIN, 0};
  const Deadline deadline = Deadline::In(60);
  const int r = PollUntil(&p, 1, deadline);
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &old, nullptr);
  EXPECT_EQ(r, 0);
  EXPECT_TRUE(deadline.Passed());
  ASSERT_EQ(write(pipeFds[1], "x", 1), 1);
  EXPECT_EQ(PollUntil(&p, 1, Deadline::Never()), 1);
  close(pipeFds[0]);
  close(pipeFds[1]);
}

}  // namespace
}  // namespace plat::posix
