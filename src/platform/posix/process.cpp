// Starting other programs: an argument vector, no shell, no waiting.
#include <spawn.h>
#include <sys/stat.h>

#include <csignal>
#include <vector>

#include "platform/process.h"

extern char** environ;

namespace plat {

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool StartProgram(const std::vector<std::string>& argv, bool) {
  if (argv.empty()) return false;
  // We never wait for what we start: let the kernel reap it rather than keep zombies.
  static const bool reaping = [] {
    std::signal(SIGCHLD, SIG_IGN);
    return true;
  }();
  (void)reaping;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  return posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) == 0;
}

bool OpenUrl(const std::string& url) { return StartProgram({"xdg-open", url}, true); }

}  // namespace plat
