#include "platform/common/access.h"

namespace plat {

AccessRole RoleOf(const Form& form) {
  if (form.Role != AccessRole::Auto) return form.Role;
  if (form.IsMainForm()) return AccessRole::Frame;
  return form.Style() == FormStyle::Borderless ? AccessRole::Window : AccessRole::Dialog;
}

std::string AccessName(const Form& form) {
  return form.Caption().empty() ? form.DesignName() : form.Caption();
}

namespace {

AccessRole KindRole(const Control& c) {
  if (dynamic_cast<const CheckBox*>(&c)) return AccessRole::CheckBox;
  if (dynamic_cast<const OptionButton*>(&c)) return AccessRole::RadioButton;
  if (dynamic_cast<const CommandButton*>(&c)) return AccessRole::PushButton;
  // A label without text is decoration (a bar, a strip).
  if (auto* l = dynamic_cast<const Label*>(&c)) return l->Caption().empty() ? AccessRole::Unseen : AccessRole::Label;
  if (dynamic_cast<const TextBox*>(&c)) return AccessRole::Text;
  return AccessRole::Unseen;  // lines, pictures, timers
}

}  // namespace

AccessInfo Describe(const Control& c) {
  AccessInfo info;
  info.role = c.Role != AccessRole::Auto ? c.Role : KindRole(c);
  // A text's content is read as text, not as its name.
  const bool named = info.role != AccessRole::Text;
  info.name = !c.AccessibleName.empty() ? c.AccessibleName : named ? ShownText(c) : "";
  info.focusable = c.TakesFocus();
  info.focused = c.Owner().FocusedControl() == &c;
  if (auto* box = dynamic_cast<const CheckBox*>(&c)) {
    info.checkable = true;
    info.checked = box->Value() != 0;
  } else if (auto* option = dynamic_cast<const OptionButton*>(&c)) {
    info.checkable = true;
    info.checked = option->Value();
  }
  if (auto* text = dynamic_cast<const TextBox*>(&c)) info.multiLine = text->MultiLine;
  info.pressable = info.role == AccessRole::PushButton || info.role == AccessRole::Link ||
                   info.role == AccessRole::CheckBox || info.role == AccessRole::RadioButton;
  return info;
}

std::vector<Control*> AccessibleChildren(const Form& form) {
  std::vector<Control*> seen;
  for (Control* c : form.Controls())
    if (c->Visible() && Describe(*c).role != AccessRole::Unseen) seen.push_back(c);
  return seen;
}

bool AccessCanPress(const Control& c) {
  const Form* modal = ActiveModalForm();
  if (!c.Visible() || !c.Owner().Loaded() || (modal && modal != &c.Owner())) return false;
  return Describe(c).pressable;
}

bool AccessPress(Control& c) {
  if (!AccessCanPress(c)) return false;
  c.UserClicked();
  return true;
}

}  // namespace plat
