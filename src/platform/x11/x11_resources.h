// What the X resource database says about the desktop: its scale.
#pragma once
#include <string_view>

#include "platform/common/scale.h"

namespace plat::x11 {

// The scale a resource-manager string (XResourceManagerString) asks for: its Xft.dpi over 96;
// 1 when it names none.
DisplayScale ScaleFromResources(std::string_view resources);

}  // namespace plat::x11
