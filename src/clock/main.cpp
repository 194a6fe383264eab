// Zorvane: a triangular desktop clock. Starting the program creates the clock window and runs
// its load step, which ends in the update loop.
#include <cstdio>
#include <string>

#include "clock/main_form.h"
#include "platform/app.h"
#include "shared/main_mod.h"

int main() {
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
