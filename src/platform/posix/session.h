// The desktop session a POSIX backend runs in, which the single-instance lock is per: the
// window system's backend says which display it talks to (any of its screens is the same one).
#pragma once
#include <string>

namespace plat::posix {

struct Session {
  std::string display;  // as the user spelt it (":3", "unix:3.0", ...)
};
Session CurrentSession();

}  // namespace plat::posix
