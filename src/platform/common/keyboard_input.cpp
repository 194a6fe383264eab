// The keyboard rules of a dialog, the same on every platform: Tab and Shift+Tab walk the controls
// that take the focus in tab order, the option group is one stop, Space presses or ticks, Enter
// presses a button, the arrows move the choice within the option group, Escape presses the
// Cancel button.
#include <algorithm>

#include "platform/forms.h"

namespace plat {

namespace {

bool IsOption(const Control* c) { return dynamic_cast<const OptionButton*>(c) != nullptr; }

}  // namespace

// Every visible control that takes the focus and has a TabIndex, by TabIndex (ties keep the
// order the form declares them in).
std::vector<Control*> Form::TabOrder() const {
  std::vector<Control*> sorted;
  for (Control* c : controls_)
    if (c->TakesFocus() && c->TabIndex >= 0 && c->Visible()) sorted.push_back(c);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Control* a, const Control* b) { return a->TabIndex < b->TabIndex; });
  return sorted;
}

std::vector<OptionButton*> Form::OptionGroup() const {
  std::vector<OptionButton*> group;
  for (Control* c : TabOrder())
    if (auto* o = dynamic_cast<OptionButton*>(c)) group.push_back(o);
  return group;
}

std::vector<Control*> Form::TabStops() const {
  // The group's stop: its selected option, else its first.
  const std::vector<OptionButton*> group = OptionGroup();
  const Control* groupStop = group.empty() ? nullptr : group.front();
  for (OptionButton* o : group)
    if (o->Value()) {
      groupStop = o;
      break;
    }
  std::vector<Control*> stops;
  for (Control* c : TabOrder())
    if (!IsOption(c) || c == groupStop) stops.push_back(c);
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
  if (key == Key::Escape) {
    for (Control* c : controls_)
      if (auto* b = dynamic_cast<CommandButton*>(c); b && b->Cancel && b->Visible()) {
        b->UserClicked();  // may unload the form
        return true;
      }
    return false;
  }
  Control* focused = focused_;
  if (key == Key::Tab) {
    const std::vector<Control*> stops = TabStops();
    if (stops.empty()) return false;
    // An option that is not the group's stop (focused while none was chosen, then another
    // chosen by the program) still stands where the group stands.
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
  const std::vector<OptionButton*> group = OptionGroup();
  const long n = long(group.size());
  const long i = long(std::find(group.begin(), group.end(), focused) - group.begin());
  if (i == n) return false;  // hidden or without a TabIndex: not in the group the arrows walk
  const bool back = key == Key::Left || key == Key::Up;
  OptionButton* next = group[size_t((back ? i - 1 + n : i + 1) % n)];
  FocusControl(next);
  next->UserClicked();
  return true;
}

}  // namespace plat
