#include "platform/forms.h"

#include <algorithm>
#include <cmath>

#include "platform/app.h"

namespace plat {

int TwipsToPixelsX(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixelX())); }
int TwipsToPixelsY(double twips) { return static_cast<int>(std::lround(twips / TwipsPerPixelY())); }

// ---- Control ----

Control::Control(Form& owner, std::string designName) : form_(owner), name_(std::move(designName)) {
  form_.Register(this);
}

Control::~Control() { form_.Unregister(this); }

void Control::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (peer_) peer_->SetVisible(visible_);
}

const std::string& Control::Text() const {
  static const std::string none;
  return none;
}

const std::string& ShownText(const Control& control) { return control.Text(); }

void Control::CreatePeer() {
  peer_ = MakePeer();
  pushedValid_ = false;
  if (!peer_) return;
  PushBounds();
  peer_->SetText(Text());
  peer_->SetVisible(visible_);
}

void Control::DestroyPeer() {
  peer_.reset();
  pushedValid_ = false;
}

void Control::PushBounds() {
  if (!peer_) return;
  PixelRect r = Bounds();
  if (pushedValid_ && r == pushed_) return;  // same pixels: nothing to send
  pushed_ = r;
  pushedValid_ = true;
  peer_->SetBounds(r);
}

void Control::PushText() {
  if (peer_) peer_->SetText(Text());
}

// ---- BoxControl and its kinds ----

void BoxControl::SetLeft(float twips) {
  if (twips == left_) return;
  left_ = twips;
  PushBounds();
}

void BoxControl::SetTop(float twips) {
  if (twips == top_) return;
  top_ = twips;
  PushBounds();
}

void BoxControl::Move(float left, float top, float width, float height) {
  bool resized = width != width_ || height != height_;
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (resized) Resized();
  PushBounds();
}

PixelRect BoxControl::Bounds() const {
  int x = TwipsToPixelsX(left_), y = TwipsToPixelsY(top_);
  return {x, y, std::max(1, TwipsToPixelsX(left_ + width_) - x),
          std::max(1, TwipsToPixelsY(top_ + height_) - y)};
}

void Label::SetCaption(std::string_view caption) {
  if (caption == caption_) return;
  caption_.assign(caption);
  PushText();
}

std::unique_ptr<ControlPeer> Label::MakePeer() { return NewLabelPeer(*this); }

void CheckBox::SetValue(int value) {
  if (value == value_) return;
  value_ = value;
  if (Peer()) Peer()->Update();
}

void CheckBox::UserClicked() {
  SetValue(value_ ? 0 : 1);
  if (Click) Click();
}

std::unique_ptr<ControlPeer> CheckBox::MakePeer() { return NewCheckBoxPeer(*this); }

void OptionButton::SetValue(bool value) {
  if (value) {
    for (Control* c : Owner().Controls())
      if (auto* other = dynamic_cast<OptionButton*>(c); other && other != this) other->SetValue(false);
  }
  if (value == value_) return;
  value_ = value;
  if (Peer()) Peer()->Update();
}

void OptionButton::UserClicked() {
  SetValue(true);
  if (Click) Click();
}

std::unique_ptr<ControlPeer> OptionButton::MakePeer() { return NewOptionButtonPeer(*this); }

std::unique_ptr<ControlPeer> CommandButton::MakePeer() { return NewCommandButtonPeer(*this); }

void TextBox::SetText(std::string_view text) {
  if (text == text_) return;
  text_.assign(text);
  PushText();
}

std::unique_ptr<ControlPeer> TextBox::MakePeer() { return NewTextBoxPeer(*this); }

void Timer::SetInterval(int ms) {
  if (ms == interval_) return;
  interval_ = ms;
  if (Peer()) Peer()->Update();
}

void Timer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (Peer()) Peer()->Update();
}

std::unique_ptr<ControlPeer> Timer::MakePeer() { return NewTimerPeer(*this); }

// ---- Line ----

void Line::Set(float x1, float y1, float x2, float y2, int widthPixels) {
  x1_ = x1;
  y1_ = y1;
  x2_ = x2;
  y2_ = y2;
  width_ = std::max(1, widthPixels);
  PushBounds();
}

// A pen of width w is centred on the line: w/2 pixels on one side, the rest on the other.
PixelRect Line::Bounds() const {
  int ax = TwipsToPixelsX(std::min(x1_, x2_)), bx = TwipsToPixelsX(std::max(x1_, x2_));
  int ay = TwipsToPixelsY(std::min(y1_, y2_)), by = TwipsToPixelsY(std::max(y1_, y2_));
  int before = width_ / 2;
  return {ax - before, ay - before, bx - ax + width_, by - ay + width_};
}

std::unique_ptr<ControlPeer> Line::MakePeer() { return NewLinePeer(*this); }

// ---- Form ----

namespace {
Form* g_mainForm = nullptr;
}  // namespace

Form::Form(std::string designName, FormStyle style) : name_(std::move(designName)), style_(style) {}

Form::~Form() {
  if (g_mainForm == this) g_mainForm = nullptr;
  for (Control* c : controls_) c->DestroyPeer();
  peer_.reset();
}

void Form::Register(Control* c) { controls_.push_back(c); }

void Form::Unregister(Control* c) { std::erase(controls_, c); }


Form* Form::MainForm() { return g_mainForm; }
bool Form::IsMainForm() const { return g_mainForm == this; }

void Form::Load() {
  if (peer_) return;
  // Decided once, before the first window is made: the backends ask it of every form.
  if (!g_mainForm && style_ == FormStyle::FixedSingle) g_mainForm = this;
  peer_ = NewFormPeer(*this);
  pushedValid_ = false;
  if (peer_) {
    peer_->SetText(caption_);
    PushBounds();
  }
  for (Control* c : controls_) c->CreatePeer();
  Form_Load();
}

void Form::Show() {
  Load();
  if (!peer_) return;
  bool first = false;
  if (!shownSinceLoad_) {
    shownSinceLoad_ = first = true;
    Form_Showing();
    if (!peer_) return;  // unloaded by its own handler
  }
  peer_->Show();
  if (!first) return;
  // A dialog opens with the focus on its first stop.
  if (std::vector<Control*> stops = TabStops(); !stops.empty()) FocusControl(stops.front());
}

namespace {
std::vector<Form*>& ModalStack() {
  static auto* stack = new std::vector<Form*>;
  return *stack;
}
}  // namespace

Form* ActiveModalForm() { return ModalStack().empty() ? nullptr : ModalStack().back(); }

void Form::ShowModal() {
  Show();
  if (!peer_) return;
  ModalStack().push_back(this);
  peer_->RunModal();
  std::erase(ModalStack(), this);
}

void Form::Unload() {
  if (peer_) NativeClosed();
}

void Form::NativeClosed() {
  pointer_ = {};
  focused_ = nullptr;
  for (Control* c : controls_) c->DestroyPeer();
  peer_.reset();
  pushedValid_ = false;
  shownSinceLoad_ = false;
}

WindowHandle Form::hWnd() const { return peer_ ? peer_->Handle() : 0; }

void Form::SetCaption(std::string_view caption) {
  if (caption == caption_) return;
  caption_.assign(caption);
  if (peer_) peer_->SetText(caption_);
}

void Form::SetLeft(double twips) { Move(twips, top_); }
void Form::SetTop(double twips) { Move(left_, twips); }

void Form::SetWidth(double twips) {
  if (twips == width_) return;
  width_ = twips;
  PushBounds();
  if (peer_) Form_Resize();
}

void Form::SetHeight(double twips) {
  if (twips == height_) return;
  height_ = twips;
  PushBounds();
  if (peer_) Form_Resize();
}

void Form::Move(double left, double top) {
  left_ = left;
  top_ = top;
  PushBounds();
}

void Form::NativeMoved(int xPixels, int yPixels, bool byUser) {
  // Keep the twips the program set when they still round to where the window is.
  const bool moved = TwipsToPixelsX(left_) != xPixels || TwipsToPixelsY(top_) != yPixels;
  if (TwipsToPixelsX(left_) != xPixels) left_ = double(xPixels) * TwipsPerPixelX();
  if (TwipsToPixelsY(top_) != yPixels) top_ = double(yPixels) * TwipsPerPixelY();
  pushed_.x = xPixels;
  pushed_.y = yPixels;
  if (moved || byUser) Form_Moved(byUser);
}

void Form::PushBounds() {
  if (!peer_) return;
  PixelRect r{TwipsToPixelsX(left_), TwipsToPixelsY(top_), TwipsToPixelsX(width_),
              TwipsToPixelsY(height_)};
  if (pushedValid_ && r == pushed_) return;
  pushed_ = r;
  pushedValid_ = true;
  peer_->SetBounds(r);
}

}  // namespace plat
