#include "instance/mod_is_it_running.h"

#include "platform/app.h"
#include "platform/instance_lock.h"
#include "platform/window_search.h"

plat::WindowHandle IsItRunning(const std::string& title) {
  std::string saved = plat::AppTitle();
  plat::SetAppTitle("Some Junk Title");
  plat::WindowHandle found = plat::FindWindowA(nullptr, title.c_str());
  plat::SetAppTitle(saved);
  return found;
}

bool ClaimInstanceLock(const std::string& title) { return plat::ClaimSingleInstance(title); }
