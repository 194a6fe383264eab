// Forms over real Win32 windows: labels and lines as STATIC, check boxes, option buttons and
// command buttons as BUTTON, text boxes as EDIT, picture boxes as child windows over a memory
// DC and DIB section, timers through SetTimer. Colours come through WM_CTLCOLOR*.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <tuple>
#include <vector>

#include "platform/app.h"
#include "platform/common/device_picture.h"
#include "platform/gdi.h"
#include "platform/picture_box.h"
#include "platform/win32/win32_access.h"
#include "platform/win32/win32_pictures.h"
#include "platform/win32/win32_scale.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_wait.h"

namespace plat {
namespace win32 {
namespace {

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

COLORREF Ref(Color c) { return RGB(RedOf(c), GreenOf(c), BlueOf(c)); }

HBRUSH BrushOf(Color c) {
  static auto* brushes = new std::map<Color, HBRUSH>;
  auto it = brushes->find(c);
  if (it != brushes->end()) return it->second;
  return (*brushes)[c] = CreateSolidBrush(Ref(c));
}

// Fonts at the window's scale, made once per size and kept.
HFONT FontOf(const FontSpec& f, const DisplayScale& scale) {
  static auto* fonts = new std::map<std::tuple<std::string, int, bool>, HFONT>;
  const int pixels = FontPixels(f.points, scale);
  auto key = std::make_tuple(f.name, pixels, f.bold);
  auto it = fonts->find(key);
  if (it != fonts->end()) return it->second;
  return (*fonts)[key] = CreateFontW(-pixels, 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                                     FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                     DEFAULT_QUALITY, DEFAULT_PITCH, Wide(f.name).c_str());
}

// The main form's window: the owner of dialogs.
HWND MainHwnd() {
  const Form* main = Form::MainForm();
  return main ? reinterpret_cast<HWND>(main->hWnd()) : nullptr;
}

// The button of a mouse message, 0 for other messages. A double-click message is a press: the
// shared pointer rules tell double-clicks themselves.
int ButtonOf(UINT msg, bool& press) {
  press = msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK || msg == WM_RBUTTONDOWN ||
          msg == WM_RBUTTONDBLCLK || msg == WM_MBUTTONDOWN || msg == WM_MBUTTONDBLCLK;
  switch (msg) {
    case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_LBUTTONUP: return kLeftButton;
    case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: case WM_RBUTTONUP: return kRightButton;
    case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: case WM_MBUTTONUP: return kMiddleButton;
    default: return 0;
  }
}

int ShiftOf(WPARAM wp) {
  return ((wp & MK_SHIFT) ? kShiftMask : 0) | ((wp & MK_CONTROL) ? kCtrlMask : 0) |
         (GetKeyState(VK_MENU) < 0 ? kAltMask : 0);
}

// The keys the shared keyboard rules take from a WM_KEYDOWN. Space is not among them: a BUTTON
// presses itself on Space (drawn pushed while the key is down) and reports the click as
// BN_CLICKED, which reaches the control as the shared rules' Space would.
std::optional<Key> RuleKey(WPARAM vk) {
  switch (vk) {
    case VK_TAB: return Key::Tab;
    case VK_RETURN: return Key::Enter;
    case VK_ESCAPE: return Key::Escape;
    case VK_LEFT: return Key::Left;
    case VK_RIGHT: return Key::Right;
    case VK_UP: return Key::Up;
    case VK_DOWN: return Key::Down;
    default: return std::nullopt;
  }
}

int KeyShift() {
  return (GetKeyState(VK_SHIFT) < 0 ? kShiftMask : 0) | (GetKeyState(VK_CONTROL) < 0 ? kCtrlMask : 0) |
         (GetKeyState(VK_MENU) < 0 ? kAltMask : 0);
}

// A press or release at device pixel p of a window at this scale, in the program's pixels.
PointerEvent EventAt(bool press, int button, WPARAM wp, POINT p, const DisplayScale& scale) {
  return {press, button, ShiftOf(wp), scale.ToLogical(int(p.x)), scale.ToLogical(int(p.y)),
          static_cast<std::uint32_t>(GetMessageTime())};
}

class ChildPeer;
ChildPeer* ChildOf(HWND hwnd) {
  return reinterpret_cast<ChildPeer*>(GetPropW(hwnd, L"ZorvanePeer"));
}

// ---- controls ----

class ChildPeer : public ControlPeer {
 public:
  ChildPeer(Control& control, const wchar_t* cls, DWORD style, Color back, Color fore,
            const FontSpec* font, bool mouse, bool clickOnRelease)
      : control_(control), back_(back), fore_(fore), font_(font), clickOnRelease_(clickOnRelease) {
    HWND parent = reinterpret_cast<HWND>(control.Owner().hWnd());
    // A border one logical pixel wide: the system's WS_BORDER at 96 dpi, our own frame above.
    bordered_ = style & WS_BORDER;
    if (bordered_ && !ScaleOfWindow(parent).IsOne()) {
      style &= ~DWORD(WS_BORDER);
      frame_ = ScaleOfWindow(parent).Length(1);
    }
    mouse_ = mouse;
    hwnd_ = CreateWindowExW(0, cls, L"", WS_CHILD | WS_CLIPSIBLINGS | style, 0, 0, 1, 1, parent,
                            nullptr, Instance(), nullptr);
    // Windows puts a new child below its elder siblings; our forms expect the newest on top (the
    // About window's texts over its picture), both for drawing and for which one a click reaches.
    SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetPropW(hwnd_, L"ZorvanePeer", this);
    annotated_ = AnnotateForReaders(hwnd_, control);
    if (font) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(*font, Scale())), FALSE);
    if (mouse || bordered_) {
      old_ = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&InputProc)));
    }
  }
  ~ChildPeer() override {
    if (annotated_) ClearReaderAnnotation(hwnd_);
    RemovePropW(hwnd_, L"ZorvanePeer");
    DestroyWindow(hwnd_);
  }
  void SetText(const std::string& text) override { SetWindowTextW(hwnd_, Wide(text).c_str()); }
  // Logical pixels in; the device pixels that cover them out.
  void SetBounds(const PixelRect& r) override {
    logical_ = r;
    const PixelRect d = Scale().ToDevice(r);
    MoveWindow(hwnd_, d.x, d.y, std::max(1, d.w), std::max(1, d.h), TRUE);
  }
  void SetVisible(bool visible) override { ShowWindow(hwnd_, visible ? SW_SHOWNA : SW_HIDE); }
  // The form moved to a monitor of another scale: place, frame and font this control again.
  virtual void Rescale() {
    if (bordered_) {
      const bool own = !Scale().IsOne();
      frame_ = own ? Scale().Length(1) : 0;
      LONG_PTR style = GetWindowLongPtrW(hwnd_, GWL_STYLE) & ~LONG_PTR(WS_BORDER);
      SetWindowLongPtrW(hwnd_, GWL_STYLE, own ? style : style | WS_BORDER);
    }
    if (font_) SendMessageW(hwnd_, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(*font_, Scale())), FALSE);
    SetBounds(logical_);
    SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  DisplayScale Scale() const { return ScaleOfWindow(GetParent(hwnd_)); }
  // BUTTON controls click themselves (BN_CLICKED), from the pointer and from the keyboard.
  bool MakesOwnClicks() const override { return !clickOnRelease_; }
  void SetFocus(bool focused) override {
    if (focused) ::SetFocus(hwnd_);
  }
  HWND Hwnd() const { return hwnd_; }

  // WM_CTLCOLOR*: our colours.
  HBRUSH Colours(HDC dc) {
    SetTextColor(dc, Ref(fore_));
    SetBkColor(dc, Ref(back_));
    return BrushOf(back_);
  }
  // WM_COMMAND from this control.
  virtual void Command(WORD) {}
  // The control is taking the keyboard focus just now (inside its WM_SETFOCUS).
  bool TakingFocus() const { return takingFocus_; }
  // WM_PAINT, for controls that draw themselves; false leaves it to the window's own class.
  virtual bool OnPaint() { return false; }
  Control& Owner() { return control_; }

 protected:
  HWND hwnd_ = nullptr;

 private:
  static LRESULT CALLBACK InputProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    NoteMessage(msg);
    ChildPeer* self = ChildOf(hwnd);
    if (!self) return DefWindowProcW(hwnd, msg, wp, lp);
    WNDPROC old = self->old_;
    if (msg == WM_PAINT && self->OnPaint()) return 0;
    if (self->frame_ && msg == WM_NCCALCSIZE) {
      auto* r = reinterpret_cast<RECT*>(lp);  // the first rectangle in either form of the message
      InflateRect(r, -self->frame_, -self->frame_);
      return 0;
    }
    if (self->frame_ && msg == WM_NCPAINT) {
      self->PaintFrame();
      return 0;
    }
    if (!self->mouse_) return CallWindowProcW(old, hwnd, msg, wp, lp);
    // The keys of a control that takes the focus go to the form's keyboard rules, which the
    // other platforms share; a key they do not use goes on to the control.
    if (msg == WM_KEYDOWN && self->control_.TakesFocus())
      if (const std::optional<Key> key = RuleKey(wp))
        if (self->control_.Owner().NativeKey(*key, KeyShift())) return 0;  // may unload the form
    if (msg == WM_SETFOCUS) {
      self->takingFocus_ = true;
      LRESULT r = CallWindowProcW(old, hwnd, msg, wp, lp);
      if (ChildOf(hwnd) == self) self->takingFocus_ = false;
      return r;
    }
    if (msg == WM_NCHITTEST) {
      LRESULT hit = CallWindowProcW(old, hwnd, msg, wp, lp);
      return hit == HTTRANSPARENT ? HTCLIENT : hit;  // a STATIC label still gets its clicks
    }
    bool press = false;
    if (const int button = ButtonOf(msg, press)) {
      LRESULT r = CallWindowProcW(old, hwnd, msg, wp, lp);  // buttons and edits keep working
      if (ChildOf(hwnd) == self) self->Mouse(button, press, wp, lp);
      return r;
    }
    return CallWindowProcW(old, hwnd, msg, wp, lp);
  }

  // To the shared pointer rules, in the form's client pixels. The control captures the pointer
  // while a button is down, so its release comes here even over a neighbour. Handlers may
  // unload the form and this peer with it: nothing touches members afterwards.
  void Mouse(int button, bool press, WPARAM wp, LPARAM lp) {
    POINT p{short(LOWORD(lp)), short(HIWORD(lp))};
    MapWindowPoints(hwnd_, GetParent(hwnd_), &p, 1);
    const PointerEvent event = EventAt(press, button, wp, p, Scale());
    if (press) SetCapture(hwnd_);
    else if (!(wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && GetCapture() == hwnd_) ReleaseCapture();
    control_.Owner().NativePointer(&control_, event);
  }

  // Our own border, in the system's window-frame colour as WS_BORDER draws it.
  void PaintFrame() {
    HDC dc = GetWindowDC(hwnd_);
    RECT r;
    GetWindowRect(hwnd_, &r);
    OffsetRect(&r, -r.left, -r.top);
    for (int i = 0; i < frame_; ++i) {
      FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
      InflateRect(&r, -1, -1);
    }
    ReleaseDC(hwnd_, dc);
  }

  Control& control_;
  Color back_, fore_;
  const FontSpec* font_;
  bool clickOnRelease_;
  bool mouse_ = true;
  bool bordered_ = false;
  bool annotated_ = false;  // carries a name or role for screen readers
  bool takingFocus_ = false;
  int frame_ = 0;  // device pixels of our own border; 0 where the system draws it
  PixelRect logical_{0, 0, 1, 1};
  WNDPROC old_ = nullptr;
};

// SS_ and ES_ share these values.
DWORD AlignStyle(Alignment a) {
  return a == Alignment::Center ? SS_CENTER : a == Alignment::Right ? SS_RIGHT : SS_LEFT;
}

class LabelPeer : public ChildPeer {
 public:
  explicit LabelPeer(Label& l)
      : ChildPeer(l, L"STATIC",
                  SS_NOPREFIX | AlignStyle(l.TextAlign) | (l.Border ? WS_BORDER | SS_CENTERIMAGE : 0),
                  l.BackColor, l.ForeColor, &l.Font, true, true) {}
};

class LinePeer : public ChildPeer {
 public:
  // No mouse handling: a click on a line is a click on the form behind it.
  explicit LinePeer(Line& l) : ChildPeer(l, L"STATIC", 0, l.BorderColor, l.BorderColor, nullptr, false, false) {}
};

class CheckPeer : public ChildPeer {
 public:
  explicit CheckPeer(CheckBox& b)
      : ChildPeer(b, L"BUTTON", BS_AUTOCHECKBOX, b.BackColor, b.ForeColor, &b.Font, true, false),
        box_(b) {}
  void Update() override { SendMessageW(hwnd_, BM_SETCHECK, box_.Value() ? BST_CHECKED : BST_UNCHECKED, 0); }
  void Command(WORD code) override {
    if (code == BN_CLICKED) box_.UserClicked();  // the box has toggled itself the same way
  }

 private:
  CheckBox& box_;
};

// A plain (not automatic) radio button: it never checks itself, the shared OptionButton decides
// which option is chosen and Update shows it.
class OptionPeer : public ChildPeer {
 public:
  explicit OptionPeer(OptionButton& o)
      : ChildPeer(o, L"BUTTON", BS_RADIOBUTTON, o.BackColor, o.ForeColor, &o.Font, true, false), option_(o) {}
  void Update() override {
    SendMessageW(hwnd_, BM_SETCHECK, option_.Value() ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  // Windows' radio button reports a click when it takes the focus unchecked (Wine's does not);
  // taking the focus chooses nothing under the shared rules, so that click is dropped.
  void Command(WORD code) override {
    if (code == BN_CLICKED && !TakingFocus()) option_.UserClicked();
  }

 private:
  OptionButton& option_;
};

class ButtonPeer : public ChildPeer {
 public:
  explicit ButtonPeer(CommandButton& b)
      : ChildPeer(b, L"BUTTON", BS_PUSHBUTTON, b.BackColor, b.ForeColor, &b.Font, true, false),
        button_(b) {}
  void Command(WORD code) override {
    if (code == BN_CLICKED && button_.Click) button_.Click();
  }
  // With the focus, the button is drawn as the default one (the heavier frame), as Windows'
  // dialog manager draws it, besides its focus rectangle.
  void SetFocus(bool focused) override {
    SendMessageW(hwnd_, BM_SETSTYLE, focused ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, TRUE);
    ChildPeer::SetFocus(focused);
  }

 private:
  CommandButton& button_;
};

class EditPeer : public ChildPeer {
 public:
  explicit EditPeer(TextBox& t)
      : ChildPeer(t, L"EDIT",
                  AlignStyle(t.TextAlign) |
                      (t.MultiLine ? ES_MULTILINE | ES_AUTOVSCROLL | ES_WANTRETURN : ES_AUTOHSCROLL),
                  t.BackColor, t.ForeColor, &t.Font, true, true),
        box_(t) {}
  void Command(WORD code) override {
    if (code != EN_CHANGE) return;
    int n = GetWindowTextLengthW(hwnd_);
    std::wstring w(size_t(n) + 1, L'\0');
    GetWindowTextW(hwnd_, w.data(), n + 1);
    w.resize(size_t(n));
    box_.UserEdited(Utf8(w));
  }

 private:
  TextBox& box_;
};

// A picture box's bitmap: a top-down 32-bit DIB section selected into a memory DC.
class PicturePeer;
std::map<HDC, PicturePeer*>& PictureDcs() {
  static auto* dcs = new std::map<HDC, PicturePeer*>;
  return *dcs;
}

// The bitmap stays in the program's pixels, which is what it draws into; it is shown at the
// window's scale.
class PicturePeer : public ChildPeer, public PictureSurface {
 public:
  explicit PicturePeer(PictureBox& p)
      : ChildPeer(p, L"ZorvanePicture", 0, p.BackColor, p.BackColor, nullptr, true, true), box_(p) {
    dc_ = CreateCompatibleDC(nullptr);
    PictureDcs()[dc_] = this;
  }
  ~PicturePeer() override {
    PictureDcs().erase(dc_);
    if (bitmap_) DeleteObject(SelectObject(dc_, old_));
    DeleteDC(dc_);
  }
  void SetBounds(const PixelRect& r) override {
    ChildPeer::SetBounds(r);
    MakeBitmap(std::max(1, r.w), std::max(1, r.h));
  }
  SeeThrough& SeeThroughPixels() override { return box_.SeeThroughPixels(); }
  DisplayScale Scale() const override { return ChildPeer::Scale(); }
  // The image changed: show it.
  void Update() override {
    CopyIn();
    InvalidateRect(hwnd_, nullptr, FALSE);
  }
  HDC Dc() const override { return dc_; }
  bool OnPaint() override {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(hwnd_, &ps);
    const DisplayScale scale = Scale();
    if (scale.IsOne()) {
      ::BitBlt(dc, 0, 0, w_, h_, dc_, 0, 0, SRCCOPY);
    } else if (bits_) {
      GdiFlush();
      Image img(w_, h_);
      std::copy_n(static_cast<const std::uint32_t*>(bits_), img.pixels.size(), img.pixels.begin());
      RECT rc;
      GetClientRect(hwnd_, &rc);
      POINT at{0, 0};
      ClientToScreen(hwnd_, &at);
      const std::vector<std::uint32_t> px =
          PictureAtDevice(img, scale, rc.right, rc.bottom, &box_.SeeThroughPixels(), at.x, at.y);
      const BITMAPINFO bi = TopDown32(rc.right, rc.bottom);
      SetDIBitsToDevice(dc, 0, 0, DWORD(rc.right), DWORD(rc.bottom), 0, 0, 0, UINT(rc.bottom),
                        px.data(), &bi, DIB_RGB_COLORS);
    }
    EndPaint(hwnd_, &ps);
    return true;
  }

 private:
  void MakeBitmap(int w, int h) {
    if (w == w_ && h == h_ && bitmap_) return;
    if (bitmap_) DeleteObject(SelectObject(dc_, old_));
    BITMAPINFO bi = TopDown32(w, h);
    bitmap_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits_, nullptr, 0);
    old_ = static_cast<HBITMAP>(SelectObject(dc_, bitmap_));
    w_ = w;
    h_ = h;
    CopyIn();
  }
  void CopyIn() {
    if (!bits_) return;
    GdiFlush();
    auto* px = static_cast<std::uint32_t*>(bits_);
    const Image& img = box_.Picture();
    for (int y = 0; y < h_; ++y)
      for (int x = 0; x < w_; ++x)
        px[y * w_ + x] = img.Contains(x, y) ? img.At(x, y) & 0xFFFFFF : PixelFromColor(box_.BackColor);
  }

  PictureBox& box_;
  HDC dc_ = nullptr;
  HBITMAP bitmap_ = nullptr, old_ = nullptr;
  void* bits_ = nullptr;
  int w_ = 0, h_ = 0;
};

class TimerPeer;
std::set<TimerPeer*>& LiveTimers() {
  static auto* timers = new std::set<TimerPeer*>;
  return *timers;
}

class TimerPeer : public ControlPeer {
 public:
  explicit TimerPeer(Timer& t) : timer_(t), hwnd_(reinterpret_cast<HWND>(t.Owner().hWnd())) {
    LiveTimers().insert(this);
    Update();
  }
  ~TimerPeer() override {
    KillTimer(hwnd_, Id());
    LiveTimers().erase(this);
  }
  void SetText(const std::string&) override {}
  void SetBounds(const PixelRect&) override {}
  void SetVisible(bool) override {}
  void Update() override {
    if (timer_.Enabled() && timer_.Interval() > 0) SetTimer(hwnd_, Id(), UINT(timer_.Interval()), nullptr);
    else KillTimer(hwnd_, Id());
  }
  void Fire() {
    if (timer_.Tick) timer_.Tick();
  }
  UINT_PTR Id() const { return reinterpret_cast<UINT_PTR>(this); }

 private:
  Timer& timer_;
  HWND hwnd_;
};

// ---- forms ----

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

void RegisterClasses() {
  static bool done = false;
  if (done) return;
  done = true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.style = CS_DBLCLKS;
  wc.lpfnWndProc = FormProc;
  wc.hInstance = Instance();
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = L"ZorvaneForm";
  RegisterClassExW(&wc);
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = L"ZorvanePicture";
  RegisterClassExW(&wc);
}

HICON IconFrom(const IconData& icon, int size) {
  if (!icon.bytes) return nullptr;
  int offset = LookupIconIdFromDirectoryEx(const_cast<PBYTE>(icon.bytes), TRUE, size, size, LR_DEFAULTCOLOR);
  if (offset <= 0 || size_t(offset) >= icon.size) return nullptr;
  return CreateIconFromResourceEx(const_cast<PBYTE>(icon.bytes + offset), DWORD(icon.size - size_t(offset)),
                                  TRUE, 0x00030000, size, size, LR_DEFAULTCOLOR);
}

// EnumThreadWindows callback: disables each enabled, visible window but the modal one.
BOOL CALLBACK DisableOthers(HWND w, LPARAM p) {
  auto* walk = reinterpret_cast<std::pair<HWND, std::vector<HWND>*>*>(p);
  if (w != walk->first && IsWindowEnabled(w) && IsWindowVisible(w)) {
    EnableWindow(w, FALSE);
    walk->second->push_back(w);
  }
  return TRUE;
}

class FormWindow : public FormPeer {
 public:
  explicit FormWindow(Form& form) : form_(form) {
    RegisterClasses();
    DWORD style = 0, ex = 0;
    HWND owner = nullptr;
    switch (form.Style()) {
      case FormStyle::FixedSingle:
        style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
        break;
      case FormStyle::FixedDialog:
      case FormStyle::SystemDialog:
        style = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
        ex = WS_EX_DLGMODALFRAME;
        owner = MainHwnd();
        break;
      case FormStyle::Borderless:
        style = WS_POPUP | WS_CLIPCHILDREN;
        owner = MainHwnd();
        break;
    }
    hwnd_ = CreateWindowExW(ex, L"ZorvaneForm", L"", style, 0, 0, 1, 1, owner, nullptr, Instance(), nullptr);
    SetPropW(hwnd_, L"ZorvaneForm", this);
    KeepWindowDpi(hwnd_, DpiOfNewWindow(hwnd_));
    if (HICON big = IconFrom(form.Icon, 32)) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    if (HICON small = IconFrom(form.Icon, 16)) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
  }
  ~FormWindow() override {
    RemovePropW(hwnd_, L"ZorvaneForm");
    RemovePropW(hwnd_, L"ZorvaneDpi");
    ForgetRegion(hwnd_);
    DestroyWindow(hwnd_);
  }
  WindowHandle Handle() const override { return reinterpret_cast<WindowHandle>(hwnd_); }
  void SetText(const std::string& caption) override { SetWindowTextW(hwnd_, Wide(caption).c_str()); }
  // Logical pixels on the screen in, device pixels out.
  void SetBounds(const PixelRect& r) override {
    const PixelRect d = ScaleOfWindow(hwnd_).ToDevice(r);
    SetWindowPos(hwnd_, nullptr, d.x, d.y, d.w, d.h, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void Show() override {
    ShowWindow(hwnd_, SW_SHOW);
    // Focus rectangles from the start, not only once a key has been pressed.
    SendMessageW(hwnd_, WM_CHANGEUISTATE, MAKEWPARAM(UIS_CLEAR, UISF_HIDEFOCUS), 0);
    if (form_.Style() != FormStyle::FixedSingle) SetForegroundWindow(hwnd_);
    UpdateWindow(hwnd_);
  }

  // Every other window of the program is disabled while this one runs its own loop.
  void RunModal() override {
    std::vector<HWND> disabled;
    std::pair<HWND, std::vector<HWND>*> walk(hwnd_, &disabled);
    EnumThreadWindows(GetCurrentThreadId(), &DisableOthers, reinterpret_cast<LPARAM>(&walk));
    Form& form = form_;
    FormWindow* self = this;
    MSG msg;
    while (form.Peer() == self) {
      BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got <= 0) EndProgram(0);
      // No IsDialogMessage: the form's keyboard rules are the shared ones (see RuleKey), and
      // the dialog manager's could not put the option group's stop where its choice stands.
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    for (HWND w : disabled)
      if (IsWindow(w)) EnableWindow(w, TRUE);
  }

  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(hwnd_, &rc);
        FillRect(reinterpret_cast<HDC>(wp), &rc, BrushOf(form_.BackColor));
        return 1;
      }
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
      case WM_CTLCOLORBTN:
        if (ChildPeer* c = ChildOf(reinterpret_cast<HWND>(lp)))
          return reinterpret_cast<LRESULT>(c->Colours(reinterpret_cast<HDC>(wp)));
        break;
      case WM_COMMAND:
        if (ChildPeer* c = ChildOf(reinterpret_cast<HWND>(lp))) c->Command(HIWORD(wp));
        return 0;
      case WM_KEYDOWN:
        // The form itself has the keyboard (no control took it): the same rules.
        if (const std::optional<Key> key = RuleKey(wp); key && form_.NativeKey(*key, KeyShift())) return 0;
        break;
      case WM_TIMER:
        for (TimerPeer* t : LiveTimers())
          if (t->Id() == wp) {
            t->Fire();
            break;
          }
        return 0;
      case WM_LBUTTONDOWN: case WM_LBUTTONDBLCLK: case WM_LBUTTONUP:
      case WM_RBUTTONDOWN: case WM_RBUTTONDBLCLK: case WM_RBUTTONUP:
      case WM_MBUTTONDOWN: case WM_MBUTTONDBLCLK: case WM_MBUTTONUP: {
        bool press = false;
        const int button = ButtonOf(msg, press);
        if (press) SetCapture(hwnd_);
        else if (!(wp & (MK_LBUTTON | MK_RBUTTON | MK_MBUTTON)) && GetCapture() == hwnd_)
          ReleaseCapture();
        form_.NativePointer(nullptr, EventAt(press, button, wp, {short(LOWORD(lp)), short(HIWORD(lp))},
                                             ScaleOfWindow(hwnd_)));
        return 0;
      }
      case WM_MOVE: {
        RECT rc;
        GetWindowRect(hwnd_, &rc);
        const DisplayScale scale = ScaleOfWindow(hwnd_);
        form_.NativeMoved(scale.ToLogical(rc.left), scale.ToLogical(rc.top), userMoving_);
        return 0;
      }
      // The user moves the window by its caption bar (or the system menu's Move) between these.
      case WM_ENTERSIZEMOVE:
        userMoving_ = true;
        break;
      case WM_EXITSIZEMOVE:
        userMoving_ = false;
        break;
      case WM_SETTINGCHANGE:  // a taskbar or an app bar took or gave back room
        if (wp == SPI_SETWORKAREA) form_.NativeDisplayChanged();
        break;
      case WM_DPICHANGED: {
        // Moved to a monitor of another scale: the system's rectangle keeps the window's
        // logical size there; the region, the fonts and the controls follow the new scale.
        const RECT* r = reinterpret_cast<const RECT*>(lp);
        KeepWindowDpi(hwnd_, LOWORD(wp));
        SetWindowPos(hwnd_, nullptr, r->left, r->top, r->right - r->left, r->bottom - r->top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        CutRegionAgain(hwnd_);
        for (Control* c : form_.Controls())
          if (auto* peer = dynamic_cast<ChildPeer*>(c->Peer())) peer->Rescale();
        InvalidateRect(hwnd_, nullptr, TRUE);
        return 0;
      }
      case WM_DISPLAYCHANGE:  // monitors added, removed or resized
        form_.NativeDisplayChanged();
        break;
      case WM_CLOSE:
        form_.QueryUnload();
        return 0;
      default:
        break;
    }
    return DefWindowProcW(hwnd_, msg, wp, lp);
  }

 private:
  Form& form_;
  HWND hwnd_ = nullptr;
  bool userMoving_ = false;
};

LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  NoteMessage(msg);
  if (auto* f = reinterpret_cast<FormWindow*>(GetPropW(hwnd, L"ZorvaneForm"))) return f->Handle(msg, wp, lp);
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

PictureSurface* PictureOfDc(HDC dc) {
  auto it = PictureDcs().find(dc);
  return it == PictureDcs().end() ? nullptr : it->second;
}

PictureSurface* PictureOfBox(PictureBox& box) { return dynamic_cast<PicturePeer*>(box.Peer()); }

}  // namespace win32

Color SystemDarkShadowColor() { return static_cast<Color>(GetSysColor(COLOR_3DDKSHADOW)); }

// The user's double-click setting; the system compares against a rectangle of this size
// centred on the first press.
// The metrics are device pixels at the system's scale; the rules compare logical ones.
DoubleClickLimits PlatformDoubleClickLimits() {
  const DisplayScale& s = win32::SystemScale();
  return {static_cast<std::uint32_t>(GetDoubleClickTime()), s.ToLogical(GetSystemMetrics(SM_CXDOUBLECLK)) / 2,
          s.ToLogical(GetSystemMetrics(SM_CYDOUBLECLK)) / 2};
}

std::unique_ptr<FormPeer> NewFormPeer(Form& form) { return std::make_unique<win32::FormWindow>(form); }
std::unique_ptr<ControlPeer> NewLabelPeer(Label& l) { return std::make_unique<win32::LabelPeer>(l); }
std::unique_ptr<ControlPeer> NewLinePeer(Line& l) { return std::make_unique<win32::LinePeer>(l); }
std::unique_ptr<ControlPeer> NewCheckBoxPeer(CheckBox& b) { return std::make_unique<win32::CheckPeer>(b); }
std::unique_ptr<ControlPeer> NewOptionButtonPeer(OptionButton& o) {
  return std::make_unique<win32::OptionPeer>(o);
}
std::unique_ptr<ControlPeer> NewCommandButtonPeer(CommandButton& b) {
  return std::make_unique<win32::ButtonPeer>(b);
}
std::unique_ptr<ControlPeer> NewTextBoxPeer(TextBox& t) { return std::make_unique<win32::EditPeer>(t); }
std::unique_ptr<ControlPeer> NewPictureBoxPeer(PictureBox& p) {
  return std::make_unique<win32::PicturePeer>(p);
}
std::unique_ptr<ControlPeer> NewTimerPeer(Timer& t) { return std::make_unique<win32::TimerPeer>(t); }
}  // namespace plat
