#include "platform/posix/end_signals.h"

#include <sys/signalfd.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

namespace plat::posix {
namespace {

constexpr int kEndSignals[] = {SIGTERM, SIGHUP, SIGINT};
int g_fd = -2;  // -2: not made yet

}  // namespace

int EndSignalFd() {
  if (g_fd != -2) return g_fd;
  sigset_t set;
  sigemptyset(&set);
  for (int sig : kEndSignals) {
    // One found ignored stays so: the starter asked for that (nohup, a shell's background job).
    struct sigaction now {};
    if (sigaction(sig, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) sigaddset(&set, sig);
  }
  g_fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  // Blocked only once the descriptor exists, or they would be held for nobody.
  if (g_fd >= 0 && sigprocmask(SIG_BLOCK, &set, nullptr) != 0) {
    close(g_fd);
    g_fd = -1;
  }
  return g_fd;
}

void EndBySignal(void (*beforeEnd)()) {
  signalfd_siginfo info{};
  if (read(g_fd, &info, sizeof info) != ssize_t(sizeof info)) return;  // taken already
  const int sig = int(info.ssi_signo);
  beforeEnd();
  std::fflush(nullptr);
  std::signal(sig, SIG_DFL);
  sigset_t just;
  sigemptyset(&just);
  sigaddset(&just, sig);
  // Still blocked, so it is delivered, with its default action, as the mask is lifted.
  raise(sig);
  sigprocmask(SIG_UNBLOCK, &just, nullptr);
  _exit(128 + sig);  // not reached
}

}  // namespace plat::posix
