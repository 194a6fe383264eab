// The keyboard rules of a dialog, the same on every platform: Tab and Shift+Tab walk the controls
// that take the focus in tab order, the option group is one stop, Space presses or ticks, Enter
// presses a button, the arrows move the choice within the option group.
#include <algorithm>

#include "platform/forms.h"

namespace plat {

namespace {

bool IsOption(const Control* c) { return dynamic_cast<const OptionButton*>(c) != nullptr; }

}  // namespace

// Every control that takes the focus, by TabIndex, with the option buttons gathered where the
// first of them stands.
std::vector<Control*> Form::TabOrder() const {
  std::vector<Control*> sorted;
  for (Control* c : controls_)
    if (c->TakesFocus() && c->TabIndex >= 0 && c->Visible()) sorted.push_back(c);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Control* a, const Control* b) { return a->TabIndex < b->TabIndex; });
  std::vector<Control*> order, options;
  for (Control* c : sorted)
    if (IsOption(c)) options.push_back(c);
  bool placed = false;
  for (Control* c : sorted) {
    if (!IsOption(c)) order.push_back(c);
    else if (!placed) {
      order.insert(order.end(), options.begin(), options.end());
      placed = true;
    }
  }
  return order;
}

std::vector<Control*> Form::TabStops() const {
  std::vector<Control*> stops;
  Control* group = nullptr;  // the option group's stop, once placed
  for (Control* c : TabOrder()) {
    if (!IsOption(c)) {
      stops.push_back(c);
    } else if (!group) {
      group = c;
      stops.push_back(c);
    } else if (static_cast<OptionButton*>(c)->Value() &&
               !static_cast<OptionButton*>(group)->Value()) {
      std::replace(stops.begin(), stops.end(), group, c);
      group = c;
    }
  }
  return stops;
}

void Form::FocusControl(Control* control) {
  if (control == focused_) {
    if (control && control->Peer()) control->Peer()->SetFocus(true);
    return;
  }
  if (focused_ && focused_->Peer()) focused_->Peer()->SetFocus(false);
  focused_ = control;
  if (focused_ && focused_->Peer()) focused_->Peer()->SetFocus(true);
}

bool Form::NativeKey(Key key, int shift) {
  Control* focused = focused_;
  if (key == Key::Tab) {
    const std::vector<Control*> stops = TabStops();
    if (stops.empty()) return false;
    // An option that is not the group's stop still stands where the group stands.
    auto at = std::find(stops.begin(), stops.end(), focused);
    if (at == stops.end() && IsOption(focused))
      at = std::find_if(stops.begin(), stops.end(), IsOption);
    const long n = long(stops.size());
    long i = at == stops.end() ? -1 : long(at - stops.begin());
    if (i < 0) i = (shift & kShiftMask) ? 0 : n - 1;
    FocusControl(stops[size_t(((shift & kShiftMask) ? i - 1 + n : i + 1) % n)]);
    return true;
  }
  if (!focused) return false;
  if (key == Key::Space || (key == Key::Enter && dynamic_cast<CommandButton*>(focused))) {
    focused->UserClicked();  // may unload the form
    return true;
  }
  if (key == Key::Enter || !IsOption(focused)) return false;
  std::vector<Control*> options;
  for (Control* c : TabOrder())
    if (IsOption(c)) options.push_back(c);
  const long n = long(options.size());
  const long i = long(std::find(options.begin(), options.end(), focused) - options.begin());
  const bool back = key == Key::Left || key == Key::Up;
  Control* next = options[size_t((back ? i - 1 + n : i + 1) % n)];
  FocusControl(next);
  next->UserClicked();
  return true;
}

}  // namespace plat
