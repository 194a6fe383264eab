// A per-session lock that only one copy of the program can hold (a named mutex on Windows, an
// flock()ed file on Linux). Held until the process ends.
#pragma once
#include <string>

namespace plat {
// True when this process now holds the lock named `name`; false when another process has it.
// A lock that cannot be made at all (no writable runtime folder) does not stop the program: true.
bool ClaimSingleInstance(const std::string& name);
}  // namespace plat
