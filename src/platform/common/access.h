// What assistive technology is told about the forms and controls, the same on every platform:
// which controls a reader sees, as what, under which name and in which state, and which of them
// it may press.
#pragma once
#include <string>
#include <vector>

#include "platform/forms.h"

namespace plat {

struct AccessInfo {
  AccessRole role = AccessRole::Unseen;  // never Auto; Unseen: not shown to a reader
  std::string name;
  bool focusable = false, focused = false;
  bool checkable = false, checked = false;
  bool multiLine = false;
  bool pressable = false;  // a reader may press it (one "click" action)
};

AccessRole RoleOf(const Form& form);
// Its caption; a window without one (the About window) goes by its design name.
std::string AccessName(const Form& form);
AccessInfo Describe(const Control& control);
// The controls a reader sees, in the form's own order (the clock's tiers from the tip down).
std::vector<Control*> AccessibleChildren(const Form& form);
// Whether a reader may press the control now: it is shown, pressable, and no other form's modal
// loop holds the input.
bool AccessCanPress(const Control& control);
// Presses it as a click would (the same handlers run), if it may be. True when it was pressed.
bool AccessPress(Control& control);

}  // namespace plat
