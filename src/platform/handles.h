// Opaque handles in the Win32 shape: a window, a kernel object, a region. Zero means none.
#pragma once
#include <cstdint>

namespace plat {
using WindowHandle = std::uintptr_t;
using Handle = std::uintptr_t;
using RegionHandle = std::uintptr_t;
}  // namespace plat
