// Pictures the program carries inside it (made by tools/make_assets.cpp).
#pragma once
#include <cstddef>

extern const unsigned char kZorvaneIco[];  // the clock's icon, 32 x 32 and 16 x 16, 16 colours
extern const std::size_t kZorvaneIcoSize;
extern const unsigned char kAboutBmp[];  // 419 x 336, 8 bits, magenta (entry 178) see-through
extern const std::size_t kAboutBmpSize;
