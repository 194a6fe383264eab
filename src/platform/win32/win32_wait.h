// What the pause needs to hear from the window procedures.
#pragma once

namespace plat::win32 {

// Called by our window procedures for every message they get: one that may reach a handler ends
// the stretch of a hinted pause (win32_wait.cpp).
void NoteMessage(unsigned msg);

}  // namespace plat::win32
