// The X11 peers of forms and controls.
#pragma once
#include <optional>
#include <algorithm>
#include <unordered_map>

#include "platform/forms.h"
#include "platform/x11/x11_internal.h"

namespace plat::x11 {

class FormWindow : public FormPeer, public EventTarget {
 public:
  explicit FormWindow(Form& form);
  ~FormWindow() override;

  WindowHandle Handle() const override { return outer_; }
  void SetText(const std::string& caption) override;
  void SetBounds(const PixelRect& screenPixels) override;
  void Show() override;
  void RunModal() override;

  void HandleEvent(XEvent& ev) override;
  ::Window TopLevel() const override { return outer_; }
  // sway's answer to the last place asked for.
  void SwayPlaced(bool ok);
  ::Window Outer() const { return outer_; }
  ::Window Client() const { return client_; }
  const Surface& Look() const { return look_; }  // its controls' too
  // The control window that gets the keyboard (0: the form itself).
  void FocusChild(::Window child);
  ::Window FocusedChild() const { return focusChild_; }
  // A key for the form's keyboard rules (Tab, Space, Enter, the arrows).
  void Key(XKeyEvent& e);
  const PixelRect& Bounds() const { return bounds_; }
  // The window's shape covers only this box from its top-left (device pixels; 0 x 0: no shape).
  // The X window is cut to it, so a window manager sees only what shows.
  void ClipToShape(int width, int height);
  const PixelRect& LogicalBounds() const { return logical_; }
  bool Mapped() const { return mapped_; }

 private:
  void UpdateHints();
  int XWidth() const { return clipW_ > 0 ? std::min(bounds_.w, clipW_) : bounds_.w; }
  int XHeight() const { return clipH_ > 0 ? std::min(bounds_.h, clipH_) : bounds_.h; }
  void DrawFrame();
  void SetIcon();
  bool InCloseBox(int x, int y) const;
  void TrackPosition(const XConfigureEvent& e);
  void SetPosition(int rootX, int rootY, bool byUser);  // where the window now is, as told
  void PlaceOnSway();
  void StartDrag(const XButtonEvent& e);
  void HandMoveToManager(int x_root, int y_root);
  void EndHandedMove();
  void SendMoveResize(long action, int x_root, int y_root, unsigned button);
  bool Button1Held() const;
  void Drag(const XMotionEvent& e);
  void ClientButton(const XButtonEvent& e, bool press);
  friend void NotifyDisplayChange();

  Form& form_;
  const Surface& look_;
  ::Window outer_ = 0, client_ = 0;
  ::Window parent_ = 0;  // the root, or a window manager's frame
  PixelRect bounds_{0, 0, 1, 1};   // device pixels, root coordinates
  PixelRect logical_{0, 0, 1, 1};  // as the form set it: logical pixels, from the primary monitor
  int clipW_ = 0, clipH_ = 0;      // the shape's box, device pixels
  int swayTries_ = 0;              // asks left for a place that sway has not yet taken
  std::optional<PixelRect> swayAsked_;  // the place asked for and not yet answered (root pixels)
  bool shown_ = false;
  bool dragPending_ = false, dragging_ = false, closePressed_ = false;
  bool handedOver_ = false;  // a move was handed to the manager since the last press
  bool destroyed_ = false;
  bool mapped_ = false;
  ::Window focusChild_ = 0;  // destroyed by another client (a window manager, xdotool)
  XftDraw* captionDraw_ = nullptr;
  int pressX_ = 0, pressY_ = 0, startX_ = 0, startY_ = 0;
};

// The form window behind a window handle, if it is one of ours.
FormWindow* FormWindowOf(WindowHandle handle);

// The frame and caption bar a form draws itself (x11_frame.cpp): the client area stands 3
// logical pixels in and 22 down. A borderless form has none, and a system dialog's frame is the
// window manager's, outside the window.
bool DrawsFrame(const Form& f);
int FrameX(const Form& f);
int CaptionY(const Form& f);

class ChildWindow : public ControlPeer, public EventTarget {
 public:
  ChildWindow(Control& control, Color background, long events);
  ~ChildWindow() override;
  void SetText(const std::string& text) override;
  void SetBounds(const PixelRect& r) override;
  void SetVisible(bool visible) override;
  void SetFocus(bool focused) override;
  void HandleEvent(XEvent& ev) override;
  ::Window TopLevel() const override { return topLevel_; }
  ::Window Window() const { return window_; }
  const Surface& Look() const { return look_; }

 protected:
  virtual void Paint() {}
  // A click from the keyboard (Space on a button or a check box).
  virtual void Clicked();
  virtual void Pressed(const XButtonEvent&) {}
  virtual void PressChanged() {}
  // A key while this control has the focus: by default, the form's.
  virtual void Key(XKeyEvent& e);
  virtual void Focus(bool) {}
  // The shared keyboard rules gave or took the focus: show it.
  virtual void FocusShown() {}
  bool HasFocus() const { return focused_; }
  bool Pressed() const { return pressed_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

 private:
  ChildWindow(Control& control, Color background, long events, FormWindow* parent);
  void Button(const XButtonEvent& e, bool press);
  Control& control_;
  const Surface& look_;
  ::Window window_ = 0, topLevel_ = 0;
  int x_ = 0, y_ = 0, width_ = 1, height_ = 1;  // device pixels in the form's client area
  bool pressed_ = false;  // the left button is down on this control: drawn pressed
  bool focused_ = false;
};

class LabelWindow : public ChildWindow {
 public:
  explicit LabelWindow(Label& label);
  ~LabelWindow() override;
  void SetText(const std::string& text) override;

 protected:
  void Paint() override;

 private:
  Label& label_;
  XftDraw* draw_ = nullptr;
};

class LineWindow : public ChildWindow {
 public:
  explicit LineWindow(Line& line);
};

}  // namespace plat::x11
