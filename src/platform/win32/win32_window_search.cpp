// Finding a top-level window by its caption.
#include <windows.h>

#include "platform/window_search.h"

namespace plat {

WindowHandle FindWindowA(const char* className, const char* windowName) {
  return reinterpret_cast<WindowHandle>(::FindWindowA(className, windowName));
}

}  // namespace plat
