// Device contexts, the screen capture and the copy between them, in the Win32 call shapes.
#pragma once
#include <cstdint>

#include "platform/handles.h"

namespace plat {

using DcHandle = std::uintptr_t;

inline constexpr std::uint32_t kSrcCopy = 0x00CC0020;

WindowHandle GetDesktopWindow();
// For the desktop window: the whole screen in screen pixels.
DcHandle GetDC(WindowHandle window);
int ReleaseDC(WindowHandle window, DcHandle dc);
bool BitBlt(DcHandle dest, int x, int y, int width, int height, DcHandle source, int sourceX,
            int sourceY, std::uint32_t rasterOp);

// The key-colour blend of one context onto another: within the rectangle, destination pixels
// whose source pixel is keyColor stay as they are; the others take the source pixel at the
// given opacity (255 replaces). keyColor is 0x00BBGGRR. The last argument is kept for callers
// that pass it and means nothing here. Returns 1 when it blended.
long FoxAlphaBlend(DcHandle dest, int destX, int destY, int width, int height, DcHandle source,
                   int sourceX, int sourceY, int opacity, std::uint32_t keyColor, std::int32_t flags);

}  // namespace plat
