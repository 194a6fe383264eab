// Refusing to start while another copy runs.
#pragma once
#include <string>

#include "platform/handles.h"

// The handle of a top-level window captioned `title`, 0 when there is none. While it searches,
// the application title reads "Some Junk Title" so this program's own windows do not answer.
plat::WindowHandle IsItRunning(const std::string& title);

// Two copies started in the same instant both find no window; only one of them gets this lock.
bool ClaimInstanceLock(const std::string& title);
