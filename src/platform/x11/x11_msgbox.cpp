// The message box: a dialog of the program's own forms in the window manager's frame, holding
// the text wrapped at 420 logical pixels and one "OK" button. Its keys and clicks follow the
// forms' shared rules: Enter and Space press the focused OK, Escape presses it as the Cancel
// button, a click is a press and a release both over it.
#include <algorithm>
#include <vector>

#include "platform/app.h"
#include "platform/x11/x11_internal.h"

namespace plat {
namespace x11 {
namespace {

// Logical pixels.
constexpr int kMargin = 14, kWrapWidth = 420, kButtonW = 75, kButtonH = 23, kLineGap = 2;

// The fewest logical pixels from `from` on that cover `device` device pixels.
int LogicalSpan(int from, int device) {
  int n = 0;
  while (Dev(from + n) - Dev(from) < device) ++n;
  return n;
}

float Twips(int logical) { return float(logical * TwipsPerPixelX()); }

class MessageForm : public Form {
 public:
  MessageForm(const std::string& text, const std::string& title)
      : Form("MsgBox", FormStyle::SystemDialog) {
    Role = AccessRole::Alert;
    SetCaption(title);
    for (Label* l : {static_cast<Label*>(&Text), static_cast<Label*>(&OK)}) {
      l->BackColor = BackColor;
      l->Font = {"Tahoma", 9, false};
    }
    Text.LineGap = kLineGap;
    Text.SetCaption(text);
    OK.SetCaption("OK");
    OK.TabIndex = 0;
    OK.Cancel = true;
    OK.Click = [this] { Unload(); };
    Layout(text);
  }

  // Named as the parts of Windows' own message box.
  Label Text{*this, "Static"};
  CommandButton OK{*this, "Button"};

 private:
  // Sized to the text as the font draws it at the desktop's scale (device pixels), then put in
  // the middle of what panels leave of the primary monitor as it is now.
  void Layout(const std::string& text) {
    XftFont* font = FontFor(Text.Font);
    const std::vector<std::string> lines = WrapText(font, text, Dev(kWrapWidth));
    int textW = 0;
    for (const std::string& l : lines) textW = std::max(textW, TextWidth(font, l));
    const int pitch = font->ascent + font->descent + Dev(kLineGap);
    const int inkW = LogicalSpan(kMargin, textW);
    const int textH = LogicalSpan(kMargin, pitch * int(lines.size()));
    // A label draws its text one device pixel in and wraps it at its width less two: one
    // logical pixel left of the margin and two wider, it breaks the same lines and puts them
    // at the margin.
    Text.Move(Twips(kMargin - 1), Twips(kMargin), Twips(inkW + 2), Twips(textH));
    const int w = std::max(inkW, kButtonW) + 2 * kMargin;
    const int h = kMargin + textH + kMargin + kButtonH + kMargin;
    OK.Move(Twips((w - kButtonW) / 2), Twips(h - kMargin - kButtonH), Twips(kButtonW),
            Twips(kButtonH));
    const PixelRect screen = PrimaryWorkAreaInRoot();
    Move(Twips(Logical(screen.x + (screen.w - Dev(w)) / 2 - OriginX())),
         Twips(Logical(screen.y + (screen.h - Dev(h)) / 2 - OriginY())));
    SetWidth(Twips(w));
    SetHeight(Twips(h));
  }
};

}  // namespace
}  // namespace x11

void MsgBox(const std::string& text, const std::string& title) {
  x11::MessageForm box(text, title.empty() ? AppTitle() : title);
  box.ShowModal();
  // Off the screen now, even when the program ends next.
  XFlush(x11::Server().dpy);
}

}  // namespace plat
