// The signals that ask a program to end (SIGTERM at a logout or from kill, SIGHUP when the
// terminal or session goes, SIGINT from Ctrl+C) end the clock as its own close does: settings
// changes it still keeps in memory are stored, or named on stderr, before it goes.
#pragma once

namespace plat::posix {

// Blocks those signals (each one the clock did not find ignored when it started) and gives a
// descriptor that becomes readable while one of them is pending; -1 where none is watched, in
// which case they keep their default action. Made once, at the first call: call it early.
int EndSignalFd();

// Called when the descriptor is readable: runs `beforeEnd` (the close's own last step), then
// ends the program by the signal itself, so whoever started it sees it killed by that signal.
void EndBySignal(void (*beforeEnd)());

}  // namespace plat::posix
