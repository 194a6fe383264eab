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
         "  --help     print this help and exit\n"
         "  --version  print the version and exit\n"
         "\n"
         "Settings: " +
         settingsLocation + "\n";
}

}  // namespace

std::optional<CommandLineOutcome> ReadCommandLine(const std::vector<std::string>& args,
                                                  const std::string& settingsLocation) {
  if (args.empty()) return std::nullopt;
  const std::string& a = args.front();
  if (args.size() == 1 && (a == "--help" || a == "-h")) return CommandLineOutcome{0, Usage(settingsLocation), {}};
  if (args.size() == 1 && a == "--version")
    return CommandLineOutcome{
        0, std::string("zorvane ") + kVersionNumber + " (" + kVersionDate + ")\n", {}};
  // The first argument that is not understood is the one named.
  std::string wrong = a;
  if (a == "--help" || a == "-h" || a == "--version") wrong = args[1];
  const bool option = !wrong.empty() && wrong[0] == '-';
  return CommandLineOutcome{
      2, {}, "zorvane: " + std::string(option ? "unknown option" : "unexpected argument") +
                 " '" + wrong + "'\n" + Usage(settingsLocation)};
}
