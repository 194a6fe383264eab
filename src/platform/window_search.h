// Finding a top-level window by its exact caption, as FindWindowA(NULL, title) does.
#pragma once
#include "platform/handles.h"

namespace plat {
// className must be null. Returns 0 when no top-level window of any program has that caption.
WindowHandle FindWindowA(const char* className, const char* windowName);
}  // namespace plat
