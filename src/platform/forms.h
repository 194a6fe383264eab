// Forms and their controls. A form holds its controls as members; each control keeps its own
// properties (twips, colours, caption) and hands a real change to its native peer, so setting a
// caption or a position to the value it already has costs nothing on the display.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>
#include "platform/handles.h"

namespace plat {

// 0x00BBGGRR, the Win32 COLORREF layout.
using Color = std::uint32_t;
constexpr Color Rgb(unsigned r, unsigned g, unsigned b) { return r | (g << 8) | (b << 16); }
constexpr unsigned RedOf(Color c) { return c & 0xFF; }
constexpr unsigned GreenOf(Color c) { return (c >> 8) & 0xFF; }
constexpr unsigned BlueOf(Color c) { return (c >> 16) & 0xFF; }

struct FontSpec {
  std::string name = "Tahoma";
  double points = 8.25;
  bool bold = false;
  bool operator==(const FontSpec&) const = default;
};

// A rectangle in pixels.
struct PixelRect {
  int x = 0, y = 0, w = 0, h = 0;
  bool operator==(const PixelRect&) const = default;
};

// The system's colour for the dark shadow of 3-D elements (COLOR_3DDKSHADOW on Windows).
Color SystemDarkShadowColor();

// Twips to whole pixels at the platform's ratio, rounded to nearest.
int TwipsToPixelsX(double twips);
int TwipsToPixelsY(double twips);

// Mouse buttons as event handlers receive them.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

using MouseHandler = std::function<void(int button, int shift, float x, float y)>;

// Modifier bits of a pointer event, as MouseDown and MouseUp receive them.
inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

// A press or release of a pointer button, raw as the window system reports it.
struct PointerEvent {
  bool press = true;
  int button = 0;          // kLeftButton, kRightButton or kMiddleButton
  int shift = 0;           // kShiftMask | kCtrlMask | kAltMask
  int x = 0, y = 0;        // pixels from the top-left of the form's client area
  std::uint32_t time = 0;  // ms, wrapping at 2^32
};

// How close in time (ms) and place (pixels either way) a second press must follow the first to
// make a double-click: the platform's setting.
struct DoubleClickLimits {
  std::uint32_t ms = 500;
  int dx = 4, dy = 4;
};
DoubleClickLimits PlatformDoubleClickLimits();

// The keys the shared keyboard rules act on (Tab with Shift goes backwards).
enum class Key { Tab, Space, Enter, Left, Right, Up, Down, Escape };

// What assistive technology (a screen reader) is told a form or control is. Auto: what its kind
// is (a check box, a button, ...; a form: the main window's frame or a dialog).
enum class AccessRole { Auto, Unseen, Frame, Dialog, Alert, Window, Label, Link, PushButton,
                        CheckBox, RadioButton, Text };

// What the native side of a control must do; backends implement it.
class ControlPeer {
 public:
  virtual ~ControlPeer() = default;
  virtual void SetText(const std::string& text) = 0;
  virtual void SetBounds(const PixelRect& clientPixels) = 0;
  virtual void SetVisible(bool visible) = 0;
  // The control's state other than text, place and visibility changed (a check, an image, a
  // timer's interval): re-read it.
  virtual void Update() {}
  // The native control makes its own clicks (and keyboard presses) of a button, check box or
  // option button; the shared pointer rules then raise no Click for it.
  virtual bool MakesOwnClicks() const { return false; }
  // The control has (or no longer has) the keyboard focus: take it natively and show it.
  virtual void SetFocus(bool) {}
};

class Form;

class Control {
 public:
  Control(Form& owner, std::string designName);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& DesignName() const { return name_; }
  Form& Owner() const { return form_; }
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);

  // Position in the order Tab visits the controls that take the focus; -1: not visited.
  int TabIndex = -1;
  // Whether the control can take the keyboard focus (buttons, check boxes, option buttons).
  virtual bool TakesFocus() const { return false; }
  // Whether a quick second press makes a double-click; on a button or a box it is another click.
  virtual bool DoubleClicks() const { return !TakesFocus(); }

  // For assistive technology: a name where the control shows none (empty: its text), and what
  // it is where its kind says otherwise (a label that opens a link). Set before the form loads.
  std::string AccessibleName;
  AccessRole Role = AccessRole::Auto;

  // Events the backend delivers; empty means the control ignores them.
  std::function<void()> Click;
  std::function<void()> DblClick;
  MouseHandler MouseDown;
  MouseHandler MouseUp;

  // A click by the user (pointer or keyboard): what the control does, then Click.
  virtual void UserClicked() {
    if (Click) Click();
  }

  // Backend side: create and drop the native peer with the form's native window.
  void CreatePeer();
  void DestroyPeer();
  ControlPeer* Peer() const { return peer_.get(); }
  // Where the control lies in its form's client area, pixels.
  virtual PixelRect Bounds() const = 0;

 protected:
  virtual std::unique_ptr<ControlPeer> MakePeer() = 0;
  virtual const std::string& Text() const;
  friend const std::string& ShownText(const Control& control);
  void PushBounds();
  void PushText();

 private:
  Form& form_;
  std::string name_;
  bool visible_ = true;
  std::unique_ptr<ControlPeer> peer_;
  PixelRect pushed_{};
  bool pushedValid_ = false;
};

enum class Alignment { Left = 0, Right = 1, Center = 2 };

// A control with a rectangle of its own, colours and a font.
class BoxControl : public Control {
 public:
  using Control::Control;
  float Left() const { return left_; }
  float Top() const { return top_; }
  float Width() const { return width_; }
  float Height() const { return height_; }
  void SetLeft(float twips);
  void SetTop(float twips);
  void Move(float left, float top, float width, float height);
  PixelRect Bounds() const override;

  // Design-time look; set before the form loads.
  Color BackColor = Rgb(255, 255, 255);
  Color ForeColor = Rgb(0, 0, 0);
  FontSpec Font;

 protected:
  virtual void Resized() {}

 private:
  float left_ = 0, top_ = 0, width_ = 0, height_ = 0;
};

// A text label: a child window with a background, an optional thin border and one line of text.
class Label : public BoxControl {
 public:
  using BoxControl::BoxControl;
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string_view caption);
  bool Border = false;
  Alignment TextAlign = Alignment::Left;
  // Logical pixels added between the lines of wrapped text, where the backend draws the text
  // itself (X11); Windows' static controls space lines by the font alone.
  int LineGap = 0;

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;
  const std::string& Text() const override { return caption_; }

 private:
  std::string caption_;
};

// A check box: Value 1 ticked, 0 empty. A click toggles it, then raises Click.
class CheckBox : public Label {
 public:
  using Label::Label;
  bool TakesFocus() const override { return true; }
  int Value() const { return value_; }
  void SetValue(int value);
  // Toggles, then raises Click.
  void UserClicked() override;

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;

 private:
  int value_ = 0;
};

// An option button. All option buttons of a form are one group: selecting one clears the rest.
class OptionButton : public Label {
 public:
  using Label::Label;
  bool TakesFocus() const override { return true; }
  bool Value() const { return value_; }
  void SetValue(bool value);
  void UserClicked() override;

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;

 private:
  bool value_ = false;
};

class CommandButton : public Label {
 public:
  using Label::Label;
  bool TakesFocus() const override { return true; }
  // Escape presses this button wherever the focus is, as a dialog's Cancel button.
  bool Cancel = false;

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;
};

// A text box the user can type into; multi-line ones break lines at CR LF.
class TextBox : public BoxControl {
 public:
  using BoxControl::BoxControl;
  const std::string& Text() const override { return text_; }
  void SetText(std::string_view text);
  bool MultiLine = false;
  Alignment TextAlign = Alignment::Left;
  // Backend side: the user typed; the native side already shows the new text.
  void UserEdited(std::string text) { text_ = std::move(text); }

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;

 private:
  std::string text_;
};

// A straight line (horizontal or vertical) of a given width in pixels, centred on its ends.
class Line : public Control {
 public:
  using Control::Control;
  void Set(float x1, float y1, float x2, float y2, int widthPixels);
  int BorderWidth() const { return width_; }
  float X1() const { return x1_; }
  float Y1() const { return y1_; }
  float X2() const { return x2_; }
  float Y2() const { return y2_; }
  Color BorderColor = Rgb(0, 0, 0);
  PixelRect Bounds() const override;

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;

 private:
  float x1_ = 0, y1_ = 0, x2_ = 0, y2_ = 0;
  int width_ = 1;
};

enum class FormStyle {
  // Caption bar and fixed frame. The frame is the backend's: X11 draws its own (the client area
  // 3 px in, 22 px down), Windows gives the system's.
  FixedSingle,
  FixedDialog,  // the same frame, for a dialog owned by the main window
  Borderless,
  // A dialog in the frame the desktop gives it: a window manager's on X11 (none without one),
  // the client area filling the window; on Windows the same as FixedDialog.
  SystemDialog,
};

// An icon file's bytes (.ico), embedded in the program.
struct IconData {
  const unsigned char* bytes = nullptr;
  size_t size = 0;
};

// A timer: raises Tick every Interval milliseconds while it is enabled and its form is loaded.
// Ticks come as messages do, so they run only while the program handles messages.
class Timer : public Control {
 public:
  using Control::Control;
  int Interval() const { return interval_; }
  bool Enabled() const { return enabled_; }
  void SetInterval(int ms);
  void SetEnabled(bool enabled);
  std::function<void()> Tick;
  PixelRect Bounds() const override { return {}; }

 protected:
  std::unique_ptr<ControlPeer> MakePeer() override;

 private:
  int interval_ = 0;
  bool enabled_ = true;
};

// What the native side of a form must do.
class FormPeer {
 public:
  virtual ~FormPeer() = default;
  virtual WindowHandle Handle() const = 0;
  virtual void SetText(const std::string& caption) = 0;
  // Outer rectangle in screen pixels.
  virtual void SetBounds(const PixelRect& screenPixels) = 0;
  virtual void Show() = 0;
  // Runs a nested loop until the form is unloaded; other forms take no input meanwhile.
  virtual void RunModal() = 0;
};

// The text a control shows (a caption, a text box's text; empty for the rest).
const std::string& ShownText(const Control& control);

class Form {
 public:
  Form(std::string designName, FormStyle style);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& DesignName() const { return name_; }
  FormStyle Style() const { return style_; }
  bool Loaded() const { return peer_ != nullptr; }
  // The program's main window (the first form loaded with a FixedSingle frame): dialogs belong
  // to it.
  bool IsMainForm() const;
  static Form* MainForm();

  // Creates the native window and its controls, then runs Form_Load.
  void Load();
  // Loads if needed and shows the window; ShowModal returns once the form has been unloaded.
  void Show();
  void ShowModal();
  void Unload();

  WindowHandle hWnd() const;
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string_view caption);

  // Outer position and size in twips, screen coordinates.
  double Left() const { return left_; }
  double Top() const { return top_; }
  double Width() const { return width_; }
  double Height() const { return height_; }
  void SetLeft(double twips);
  void SetTop(double twips);
  void SetWidth(double twips);
  void SetHeight(double twips);
  void Move(double left, double top);

  Color BackColor = Rgb(212, 208, 200);
  IconData Icon;
  // What assistive technology is told the window is (Auto: the main window's frame, a dialog).
  AccessRole Role = AccessRole::Auto;
  // Some of its pixels show what lies behind the window (its picture boxes' see-through parts).
  // Set before Load: where the desktop composites, the window is then made see-through there.
  bool SeeThrough = false;

  // Events on the form's own client background.
  std::function<void()> DblClick;
  MouseHandler MouseUp;

  // Backend side.
  const std::vector<Control*>& Controls() const { return controls_; }
  void Register(Control* c);
  void Unregister(Control* c);
  FormPeer* Peer() const { return peer_.get(); }
  // A pointer button went down or up over `under` (a control of this form, or null for the
  // client background). Here the press's control captures the release, and presses become
  // MouseDown, MouseUp, Click and DblClick, the same on every platform.
  void NativePointer(Control* under, const PointerEvent& event);
  // The control with the keyboard focus, if any; FocusControl moves it there and shows it.
  Control* FocusedControl() const { return focused_; }
  void FocusControl(Control* control);
  // The stops of Tab in order: the controls that take the focus, by TabIndex. The option group
  // is one stop: its selected option (with none selected, its first), at that option's own
  // TabIndex, so the group moves in the order as the choice moves.
  std::vector<Control*> TabStops() const;
  // Backend side, on every platform: a key pressed while this form has the keyboard. Tab moves
  // the focus, Space presses or ticks the focused control, Enter presses a focused button, the
  // arrows move the focus and the choice within the option group (in TabIndex order, round),
  // Escape presses the Cancel button. True when the key was used.
  bool NativeKey(Key key, int shift);
  // The window was moved by the user or the window manager (screen pixels); byUser: the user
  // dragged it there.
  void NativeMoved(int xPixels, int yPixels, bool byUser = false);
  // The native window went away: drop the peers.
  void NativeClosed();
  // The user asked the window manager to close the window.
  virtual void QueryUnload() { Unload(); }
  // Monitors were added, removed or resized, or their work areas changed.
  void NativeDisplayChanged() { Form_DisplayChange(); }

 protected:
  virtual void Form_Load() {}
  // The size changed while the form is loaded.
  virtual void Form_Resize() {}
  // The form is about to appear on the screen for the first time since it was loaded.
  virtual void Form_Showing() {}
  virtual void Form_DisplayChange() {}
  // The window's place changed from outside (byUser: the user dragged it), or the user dragged it.
  virtual void Form_Moved(bool /*byUser*/) {}

 private:
  void PushBounds();
  // What the pointer rules remember between events.
  struct PointerState {
    Control* pressedOn = nullptr;  // the control that took the press (null: the background)
    int held = 0;                  // buttons down since a press on this form
    bool doubled = false;          // the held press made a double-click
    bool armed = false;            // `last` may start a double-click
    PointerEvent last;
    Control* lastOn = nullptr;
  } pointer_;
  Control* focused_ = nullptr;
  // The controls Tab can reach, option buttons included, by TabIndex.
  std::vector<Control*> TabOrder() const;
  // The option buttons among them, in the order the arrows walk.
  std::vector<OptionButton*> OptionGroup() const;
  std::string name_;
  FormStyle style_;
  std::string caption_;
  double left_ = 0, top_ = 0, width_ = 0, height_ = 0;
  std::vector<Control*> controls_;
  std::unique_ptr<FormPeer> peer_;
  PixelRect pushed_{};
  bool pushedValid_ = false;
  bool shownSinceLoad_ = false;
};

// A control array: Sec(0) to Sec(4), each named "Sec(i)" on the native side.
template <class T>
class ControlArray {
 public:
  ControlArray(Form& owner, const std::string& name, int count) {
    for (int i = 0; i < count; ++i)
      items_.push_back(std::make_unique<T>(owner, name + "(" + std::to_string(i) + ")"));
  }
  T& operator()(int index) { return *items_.at(static_cast<size_t>(index)); }
  const T& operator()(int index) const { return *items_.at(static_cast<size_t>(index)); }
  int Count() const { return static_cast<int>(items_.size()); }

 private:
  std::vector<std::unique_ptr<T>> items_;
};

// The form whose modal loop runs innermost, or null: what a new dialog centres over.
Form* ActiveModalForm();

// Backends create the native peers.
std::unique_ptr<FormPeer> NewFormPeer(Form& form);
std::unique_ptr<ControlPeer> NewLabelPeer(Label& label);
std::unique_ptr<ControlPeer> NewLinePeer(Line& line);
std::unique_ptr<ControlPeer> NewCheckBoxPeer(CheckBox& box);
std::unique_ptr<ControlPeer> NewOptionButtonPeer(OptionButton& option);
std::unique_ptr<ControlPeer> NewCommandButtonPeer(CommandButton& button);
std::unique_ptr<ControlPeer> NewTextBoxPeer(TextBox& box);
std::unique_ptr<ControlPeer> NewTimerPeer(Timer& timer);

}  // namespace plat
