// Starting other programs: an argument vector, no shell, no waiting.
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <csignal>
#include <vector>

#include "platform/process.h"

extern char** environ;

namespace plat {

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

namespace {

// Children are reaped as they end, whatever they are; the clock waits for none of them.
void ReapChildren(int) {
  const int saved = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}

}  // namespace

bool StartProgram(const std::vector<std::string>& argv, bool) {
  if (argv.empty()) return false;
  // Not SIGCHLD ignored, which a child would inherit (its own waitpid would then fail): a handler,
  // which exec resets.
  static const bool reaping = [] {
    struct sigaction a {};
    a.sa_handler = ReapChildren;
    sigemptyset(&a.sa_mask);
    a.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    return sigaction(SIGCHLD, &a, nullptr) == 0;
  }();
  (void)reaping;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  // The child starts as a program started from a shell would: every signal at its default (the
  // clock ignores SIGPIPE, and may itself have been started with signals ignored) and none
  // blocked.
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return false;
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
  pid_t pid;
  const bool started = posix_spawnp(&pid, args[0], nullptr, &attr, args.data(), environ) == 0;
  posix_spawnattr_destroy(&attr);
  return started;
}

bool OpenUrl(const std::string& url) { return StartProgram({"xdg-open", url}, true); }

}  // namespace plat
