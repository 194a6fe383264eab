// Zorvane: a triangular desktop clock. Starting the program creates the clock window and runs
// its load step, which ends in the update loop. The Linux program first reads --help and
// --version; the Windows one takes no command line.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "clock/command_line.h"
#include "clock/main_form.h"
#include "platform/app.h"
#include "shared/main_mod.h"

namespace {

// Prints the command line's answer; a help or version text that could not all be written (a
// full disk, a closed pipe) turns a success into status 1, as GNU programs do.
int PrintOutcome(const CommandLineOutcome& outcome) {
  plat::ReportClosedPipesAsWriteErrors();
  std::fputs(outcome.out.c_str(), stdout);
  const bool written = std::fflush(stdout) == 0 && !std::ferror(stdout);
  std::fputs(outcome.err.c_str(), stderr);
  if (written) return outcome.status;
  std::fprintf(stderr, "zorvane: write error: %s\n", std::strerror(errno));
  return outcome.status == 0 ? 1 : outcome.status;
}

}  // namespace

int main(int argc, char** argv) {
  if (plat::TakesCommandLine()) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (auto outcome = ReadCommandLine(args, plat::SettingsLocation())) return PrintOutcome(*outcome);
  }
  std::string problem = plat::Initialize(ClockTriangleWidth(), ClockTriangleHeight());
  if (!problem.empty()) {
    std::fprintf(stderr, "zorvane: %s\n", problem.c_str());
    return 1;
  }
  plat::SetAppTitle(kProductName);
  static Main clock;  // lives until the process ends inside its loop
  clock.Load();
  return 0;
}
