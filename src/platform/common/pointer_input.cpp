// The one set of rules that turns raw presses and releases into MouseDown, MouseUp, Click and
// DblClick, for every backend. They follow Windows: the control that takes a press gets its
// release, only the left button clicks and double-clicks, and the second press of a
// double-click raises DblClick instead of MouseDown (its release still raises MouseUp).
#include <cstdlib>

#include "platform/app.h"
#include "platform/forms.h"

namespace plat {

void Form::NativePointer(Control* under, const PointerEvent& e) {
  PointerState& p = pointer_;
  if (e.press) {
    if (p.held == 0) p.pressedOn = under;  // the first button down captures the pointer
    Control* target = p.pressedOn;
    p.held |= e.button;
    const DoubleClickLimits limits = PlatformDoubleClickLimits();
    const bool doubled = e.button == kLeftButton && p.armed && p.lastOn == target &&
                         (!target || target->DoubleClicks()) &&
                         std::uint32_t(e.time - p.last.time) <= limits.ms &&
                         std::abs(e.x - p.last.x) <= limits.dx &&
                         std::abs(e.y - p.last.y) <= limits.dy;
    // A double-click uses up its pair; any other button's press breaks a pair off.
    p.armed = e.button == kLeftButton && !doubled;
    p.last = e;
    p.lastOn = target;
    p.doubled = doubled;
    if (!target) {
      if (doubled && DblClick) DblClick();
      return;
    }
    // A press on a button or a box gives it the focus, as on Windows.
    if (target->TakesFocus() && target->TabIndex >= 0) FocusControl(target);
    const PixelRect b = target->Bounds();
    if (doubled) {
      if (target->DblClick) target->DblClick();
    } else if (target->MouseDown) {
      target->MouseDown(e.button, e.shift, float((e.x - b.x) * TwipsPerPixelX()),
                        float((e.y - b.y) * TwipsPerPixelY()));
    }
    return;
  }

  // A release whose press this form never saw (it went to a window that was modal then).
  if (!(p.held & e.button)) return;
  p.held &= ~e.button;
  Control* target = p.pressedOn;
  const bool doubled = p.doubled;
  // Handlers may unload the form: nothing reads the pointer state after the first one.
  if (!target) {
    if (MouseUp)
      MouseUp(e.button, e.shift, float(e.x * TwipsPerPixelX()), float(e.y * TwipsPerPixelY()));
    return;
  }
  const PixelRect b = target->Bounds();
  const bool inside = e.x >= b.x && e.y >= b.y && e.x < b.x + b.w && e.y < b.y + b.h;
  const bool click = e.button == kLeftButton && !doubled && inside && target->Peer() &&
                     !target->Peer()->MakesOwnClicks();
  if (target->MouseUp) {
    target->MouseUp(e.button, e.shift, float((e.x - b.x) * TwipsPerPixelX()),
                    float((e.y - b.y) * TwipsPerPixelY()));
    if (!target->Peer()) return;  // unloaded by the handler
  }
  if (click) target->UserClicked();
}

}  // namespace plat
