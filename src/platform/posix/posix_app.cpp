// What the Linux backends share that is POSIX and no window system's: the program's name, its
// settings file and store, the environment, the command line, how it ends.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/app.h"
#include "platform/emulated/hive.h"
#include "platform/posix/reg_file_store.h"
#include "platform/registry.h"

namespace plat {

void EndProgram(int status) {
  // A change kept in memory while another clock held the settings lock is stored now, or named
  // on stderr: _exit runs nothing that could store it later.
  ActiveHiveStore().StoreBeforeExit();
  std::fflush(nullptr);
  _exit(status);
}

std::string ExeBaseName() {
  // Asked for at every pause (it names the timer); the answer never changes.
  static const std::string name = [] {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  std::string path = n > 0 ? std::string(buf, static_cast<size_t>(n)) : "zorvane";
  std::string base = path.substr(path.find_last_of('/') + 1);
  if (auto dot = base.find_last_of('.'); dot != std::string::npos && dot > 0) base.resize(dot);
  return base;
  }();
  return name;
}

bool TakesCommandLine() { return true; }
void ReportClosedPipesAsWriteErrors() { std::signal(SIGPIPE, SIG_IGN); }

std::string SettingsLocation() {
  std::string path = DefaultSettingsPath();
  return path.empty() ? "$XDG_CONFIG_HOME/zorvane/settings.reg (no home folder here)" : path;
}

std::string Environ(const std::string& name) {
  const char* v = std::getenv(name.c_str());
  return v ? v : "";
}

HiveStore& ActiveHiveStore() {
  static RegFileStore store(DefaultSettingsPath());
  return store;
}

}  // namespace plat
