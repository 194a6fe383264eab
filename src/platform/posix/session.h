// The desktop session a POSIX backend runs in, which the single-instance lock is per: the
// window system's backend says which display and screen it talks to.
#pragma once
#include <string>

namespace plat::posix {

struct Session {
  std::string display;  // as the user spelt it (":3", "unix:3.0", ...)
  int screen = 0;
};
Session CurrentSession();

}  // namespace plat::posix
