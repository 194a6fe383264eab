// The program's options: --help (or -h) and --version, read before the display is opened.
#pragma once
#include <optional>
#include <string>
#include <vector>

struct CommandLineOutcome {
  int status;       // what the process exits with
  std::string out;  // for stdout
  std::string err;  // for stderr
};

// Nothing when the arguments (without the program's name) ask to start the clock; otherwise
// what to print and the status to exit with: 0 after --help or --version, 2 for anything else.
// "--" alone ends the options and starts the clock.
std::optional<CommandLineOutcome> ReadCommandLine(const std::vector<std::string>& args,
                                                  const std::string& settingsLocation);
