#include "clock/command_line.h"

#include "shared/main_mod.h"

namespace {

std::string Usage(const std::string& settingsLocation) {
  return "Usage: zorvane [--help | --version]\n"
         "\n"
         "Zorvane is a desktop clock: a triangular window whose seven tiers of cells show the\n"
         "seconds, minutes, hours, day of the month, weekday, month and year. Drag it by its blue\n"
         "tip, double-click it to close it, double-click \"MIL\" for 12-hour display, and\n"
         "right-click it for the Setup dialog. Only one copy runs on a display.\n"
         "\n"
         "Options:\n"
         "  -h, --help     print this help and exit\n"
         "      --version  print the version and exit\n"
         "\n"
         "Settings: " +
         settingsLocation + "\n";
}

}  // namespace

// As GNU programs read theirs: options in order, the first of --help (-h)/--version wins, an
// unknown option is named at once, "--" ends the options, and a stray word is named only when
// no --help or --version stands anywhere (getopt would have moved it behind them).
std::optional<CommandLineOutcome> ReadCommandLine(const std::vector<std::string>& args,
                                                  const std::string& settingsLocation) {
  const std::string* stray = nullptr;
  bool optionsEnded = false;
  for (const std::string& a : args) {
    const bool option = !optionsEnded && a.size() > 1 && a[0] == '-';
    if (!option) {
      if (!stray) stray = &a;
      continue;
    }
    if (a == "--") {
      optionsEnded = true;
    } else if (a == "--help" || a == "-h") {
      return CommandLineOutcome{0, Usage(settingsLocation), {}};
    } else if (a == "--version") {
      return CommandLineOutcome{
          0, std::string("zorvane ") + kVersionNumber + " (" + kVersionDate + ")\n", {}};
    } else {
      return CommandLineOutcome{
          2, {}, "zorvane: unknown option '" + a + "'\n" + Usage(settingsLocation)};
    }
  }
  if (!stray) return std::nullopt;
  return CommandLineOutcome{
      2, {}, "zorvane: unexpected argument '" + *stray + "'\n" + Usage(settingsLocation)};
}
