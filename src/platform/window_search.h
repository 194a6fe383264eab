// Finding a top-level window by its caption, as FindWindowA(NULL, title) does.
#pragma once
#include <string_view>

#include "platform/handles.h"

namespace plat {
// Captions match as FindWindowA matches them: whole, ignoring the case of letters ("ZORVANE"
// is "Zorvane"). Only ASCII letters fold; the program's own captions are ASCII.
inline bool SameCaption(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

// className must be null. Returns 0 when no top-level window of any program has that caption.
WindowHandle FindWindowA(const char* className, const char* windowName);
}  // namespace plat
