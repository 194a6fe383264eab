// Zorvane: a triangular desktop clock. Starting the program creates the clock window and runs
// its load step, which ends in the update loop. The Linux program first reads --help and
// --version; the Windows one takes no command line.
#include <cstdio>
#include <string>
#include <vector>

#include "clock/command_line.h"
#include "clock/main_form.h"
#include "platform/app.h"
#include "shared/main_mod.h"

int main(int argc, char** argv) {
  if (plat::TakesCommandLine()) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (auto outcome = ReadCommandLine(args, plat::SettingsLocation())) {
      std::fputs(outcome->out.c_str(), stdout);
      std::fputs(outcome->err.c_str(), stderr);
      return outcome->status;
    }
  }
  std::string problem = plat::Initialize();
  if (!problem.empty()) {
    std::fprintf(stderr, "zorvane: %s\n", problem.c_str());
    return 1;
  }
  plat::SetAppTitle(kProductName);
  static Main clock;  // lives until the process ends inside its loop
  clock.Load();
  return 0;
}
