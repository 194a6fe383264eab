// Check boxes, option buttons, command buttons, text boxes, picture boxes and timers on X11.
#include <X11/Xatom.h>
#include <X11/extensions/shape.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <list>

#include "platform/common/utf8.h"
#include "platform/posix/deadline.h"
#include "platform/picture_box.h"
#include "platform/x11/x11_atspi.h"
#include "platform/x11/x11_draw.h"
#include "platform/x11/x11_forms.h"

namespace plat {
namespace x11 {
namespace {

constexpr long kClickEvents = ExposureMask | ButtonPressMask | ButtonReleaseMask;

void DrawText(const Surface& look, XftDraw* draw, XftFont* f, Color c, int x, int baseline,
              const std::string& s) {
  XftDrawStringUtf8(draw, XftColorOf(look, c), f, x, baseline, reinterpret_cast<const FcChar8*>(s.data()),
                    int(s.size()));
}

// A child window that draws itself with a GC and Xft each time it paints.
class PaintedWindow : public ChildWindow {
 public:
  PaintedWindow(Control& c, Color back, long events) : ChildWindow(c, back, events) {}
  ~PaintedWindow() override {
    if (draw_) XftDrawDestroy(draw_);
  }
  void SetText(const std::string& text) override {
    ChildWindow::SetText(text);
    Repaint();
  }
  void Update() override { Repaint(); }

 protected:
  void FocusShown() override { Repaint(); }
  // The dotted rectangle that shows the keyboard focus.
  void FocusRect(GC gc, Color c, int x, int y, int w, int h) {
    if (!HasFocus() || w < 2 || h < 2) return;
    XSetForeground(Server().dpy, gc, Look().Pixel(c));
    XSetLineAttributes(Server().dpy, gc, unsigned(Scale().IsOne() ? 1 : Scale().Length(1)), LineOnOffDash,
                       CapButt, JoinMiter);
    const char dash[] = {char(Scale().Length(1)), char(Scale().Length(1))};
    XSetDashes(Server().dpy, gc, 0, dash, 2);
    XDrawRectangle(Server().dpy, Window(), gc, x, y, unsigned(w - 1), unsigned(h - 1));
    XSetLineAttributes(Server().dpy, gc, 1, LineSolid, CapButt, JoinMiter);
  }
  void Paint() override {
    Display* d = Server().dpy;
    if (!draw_) draw_ = XftDrawCreate(d, Window(), Look().visual, Look().colormap);
    GC gc = XCreateGC(d, Window(), 0, nullptr);
    Draw(gc, draw_);
    XFreeGC(d, gc);
  }
  void Repaint() {
    XClearWindow(Server().dpy, Window());
    Paint();
  }
  virtual void Draw(GC gc, XftDraw* draw) = 0;
  // A check box's or option button's caption, beside its box, centred in height.
  // With the focus, a dotted frame around the caption (around the box where there is none).
  void CaptionRightOf(int boxSize, GC gc, XftDraw* draw, const Label& control) {
    XftFont* f = FontFor(control.Font);
    if (!f || control.Caption().empty()) {
      FocusRect(gc, control.ForeColor, 0, 0, Width(), Height());
      return;
    }
    const int h = f->ascent + f->descent, top = (Height() - h) / 2;
    DrawText(Look(), draw, f, control.ForeColor, boxSize + Dev(4), top + f->ascent, control.Caption());
    FocusRect(gc, control.ForeColor, boxSize + Dev(2), std::max(0, top - Dev(1)),
              std::min(Width() - boxSize - Dev(2), TextWidth(f, control.Caption()) + Dev(4)),
              h + Dev(2));
  }

 private:
  XftDraw* draw_ = nullptr;
};

class CheckWindow : public PaintedWindow {
 public:
  explicit CheckWindow(CheckBox& box) : PaintedWindow(box, box.BackColor, kClickEvents), box_(box) {}
  void Update() override {
    Repaint();
    atspi::CheckChanged(box_);
  }

 protected:
  void Draw(GC gc, XftDraw* draw) override {
    const int size = Dev(13), y0 = (Height() - size) / 2, t = Scale().Length(1);
    XSetForeground(Server().dpy, gc, Look().Pixel(kHighlight));
    XFillRectangle(Server().dpy, Window(), gc, 0, y0, unsigned(size), unsigned(size));
    Bar(Look(), Window(), gc, kShadow, 0, y0, size - 1, y0);
    Bar(Look(), Window(), gc, kShadow, 0, y0, 0, y0 + size - 1);
    Bar(Look(), Window(), gc, kDarkShadow, t, y0 + t, size - 1 - t, y0 + t);
    Bar(Look(), Window(), gc, kDarkShadow, t, y0 + t, t, y0 + size - 1 - t);
    if (box_.Value()) {
      XSetForeground(Server().dpy, gc, Look().Pixel(kBlack));
      XPoint tick[] = {{short(Dev(3)), short(y0 + Dev(6))}, {short(Dev(5)), short(y0 + Dev(8))},
                       {short(Dev(9)), short(y0 + Dev(4))}};
      XSetLineAttributes(Server().dpy, gc, unsigned(Scale().Length(2)), LineSolid, CapButt, JoinMiter);
      XDrawLines(Server().dpy, Window(), gc, tick, 3, CoordModeOrigin);
    }
    CaptionRightOf(size, gc, draw, box_);
  }

 private:
  CheckBox& box_;
};

class OptionWindow : public PaintedWindow {
 public:
  explicit OptionWindow(OptionButton& o) : PaintedWindow(o, o.BackColor, kClickEvents), option_(o) {}
  void Update() override {
    Repaint();
    atspi::CheckChanged(option_);
  }

 protected:
  void Draw(GC gc, XftDraw* draw) override {
    const int size = Dev(12), y0 = (Height() - size) / 2;
    XSetForeground(Server().dpy, gc, Look().Pixel(kHighlight));
    XFillArc(Server().dpy, Window(), gc, 0, y0, unsigned(size), unsigned(size), 0, 360 * 64);
    XSetLineAttributes(Server().dpy, gc, unsigned(Scale().IsOne() ? 0 : Scale().Length(1)), LineSolid,
                       CapButt, JoinMiter);
    XSetForeground(Server().dpy, gc, Look().Pixel(kShadow));
    XDrawArc(Server().dpy, Window(), gc, 0, y0, size - 1, size - 1, 45 * 64, 180 * 64);
    XSetForeground(Server().dpy, gc, Look().Pixel(kDarkShadow));
    XDrawArc(Server().dpy, Window(), gc, 0, y0, size - 1, size - 1, 225 * 64, 180 * 64);
    if (option_.Value()) {
      XSetForeground(Server().dpy, gc, Look().Pixel(kBlack));
      XFillArc(Server().dpy, Window(), gc, Dev(3), y0 + Dev(3), unsigned(size - 2 * Dev(3)),
               unsigned(size - 2 * Dev(3)), 0, 360 * 64);
    }
    CaptionRightOf(size, gc, draw, option_);
  }

 private:
  OptionButton& option_;
};

class ButtonWindow : public PaintedWindow {
 public:
  explicit ButtonWindow(CommandButton& b) : PaintedWindow(b, b.BackColor, kClickEvents), button_(b) {}

 protected:
  void PressChanged() override { Repaint(); }
  void Draw(GC gc, XftDraw* draw) override {
    Edge(Look(), Window(), gc, Width(), Height(), Pressed());
    XftFont* f = FontFor(button_.Font);
    if (!f) return;
    int shift = Pressed() ? Dev(1) : 0;
    DrawText(Look(), draw, f, button_.ForeColor, (Width() - TextWidth(f, button_.Caption())) / 2 + shift,
             (Height() - (f->ascent + f->descent)) / 2 + f->ascent + shift, button_.Caption());
    FocusRect(gc, kBlack, Dev(4), Dev(4), Width() - 2 * Dev(4), Height() - 2 * Dev(4));
  }

 private:
  CommandButton& button_;
};

// Splits at CR LF (and lone LF) into display lines.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\n') lines.emplace_back();
    else lines.back() += text[i];
  }
  return lines;
}

class TextWindow : public PaintedWindow {
 public:
  explicit TextWindow(TextBox& box)
      : PaintedWindow(box, box.BackColor, kClickEvents | KeyPressMask | FocusChangeMask),
        box_(box) {}
  ~TextWindow() override {
    if (ic_) XDestroyIC(ic_);
  }

 protected:
  void Pressed(const XButtonEvent&) override {
    XSetInputFocus(Server().dpy, Window(), RevertToParent, CurrentTime);
  }
  void Key(XKeyEvent& e) override {
    KeySym sym = NoSymbol;
    const std::string typed = Typed(e, sym);
    std::string text = box_.Text();
    if (sym == XK_BackSpace) {
      if (text.empty()) return;
      // Whole characters: a CR LF pair, or one UTF-8 sequence.
      if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
      else text.resize(LastCharacterAt(text));
    } else if (sym == XK_Return || sym == XK_KP_Enter) {
      if (!box_.MultiLine) return;
      text += "\r\n";
    } else if (!typed.empty() && static_cast<unsigned char>(typed[0]) >= 0x20 && typed[0] != 0x7F) {
      text += typed;
    } else {
      return;
    }
    box_.UserEdited(text);
    ChildWindow::SetText(text);
    Repaint();
  }
  void Focus(bool in) override {
    focused_ = in;
    if (ic_) in ? XSetICFocus(ic_) : XUnsetICFocus(ic_);
    Repaint();
  }
  void Draw(GC gc, XftDraw* draw) override {
    XftFont* f = FontFor(box_.Font);
    if (!f) return;
    const int lineH = f->ascent + f->descent;
    int y = Dev(1), x = Dev(2);
    std::vector<std::string> lines = box_.MultiLine ? Lines(box_.Text()) : std::vector<std::string>{box_.Text()};
    int caretX = x, caretY = y;
    for (const auto& l : lines) {
      const int room = Width() - TextWidth(f, l);
      x = box_.TextAlign == Alignment::Center  ? std::max(Dev(2), room / 2)
          : box_.TextAlign == Alignment::Right ? std::max(Dev(2), room - Dev(2))
                                               : Dev(2);
      DrawText(Look(), draw, f, box_.ForeColor, x, y + f->ascent, l);
      caretX = x + TextWidth(f, l);
      caretY = y;
      y += lineH;
    }
    if (focused_)
      Bar(Look(), Window(), gc, box_.ForeColor, caretX + Dev(1), caretY, caretX + Dev(1), caretY + lineH - 1);
  }

 private:
  // What the key types, as UTF-8, through the input method where there is one (any keyboard
  // layout, composed characters); without one, the Latin-1 that XLookupString gives.
  std::string Typed(XKeyEvent& e, KeySym& sym) {
    char buf[64];
    if (!ic_ && InputMethod())
      ic_ = XCreateIC(InputMethod(), XNInputStyle, XIMPreeditNothing | XIMStatusNothing,
                      XNClientWindow, Window(), XNFocusWindow, Window(), nullptr);
    if (ic_) {
      Status status = 0;
      const int n = Xutf8LookupString(ic_, &e, buf, sizeof buf, &sym, &status);
      if (status != XLookupKeySym && status != XLookupBoth) sym = NoSymbol;
      return status == XLookupChars || status == XLookupBoth ? std::string(buf, size_t(n)) : "";
    }
    const int n = XLookupString(&e, buf, sizeof buf, &sym, nullptr);
    std::u32string latin1;
    for (int i = 0; i < n; ++i) latin1 += char32_t(static_cast<unsigned char>(buf[i]));
    return EncodeUtf8(latin1);
  }

  // Where the text's last character starts.
  static size_t LastCharacterAt(const std::string& text) {
    size_t last = 0;
    for (size_t at = 0; at < text.size(); at += Utf8At(text, at).length) last = at;
    return last;
  }

  TextBox& box_;
  bool focused_ = false;
  XIC ic_ = nullptr;
};

// A client-side image of w x h pixels in the surface's format, or null; XDestroyImage frees it.
XImage* NewImage(const Surface& look, int w, int h) {
  if (w <= 0 || h <= 0) return nullptr;
  auto* data = static_cast<char*>(std::malloc(size_t(w) * size_t(h) * 4));
  if (!data) return nullptr;
  XImage* xi = XCreateImage(Server().dpy, look.visual, unsigned(look.depth), ZPixmap, 0, data, unsigned(w),
                            unsigned(h), 32, 0);
  if (!xi) std::free(data);
  return xi;
}

// The picture is drawn once into a pixmap on the server, and each Expose copies only the
// rectangle it uncovers. Drawing the device picture costs the square of the scale (the About
// window's picture, some 400 x 300 logical pixels, is millions of device pixels at 4x and more),
// and the About window's indicator exposes the picture under it twice a second: redrawn in full
// each time, that kept a core busy at large scales.
class PictureWindow : public ChildWindow {
 public:
  explicit PictureWindow(PictureBox& box) : ChildWindow(box, box.BackColor, kClickEvents), box_(box) {}
  ~PictureWindow() override { DropCache(); }
  // The picture's pixels changed.
  void Update() override {
    stale_ = true;
    Paint();
  }
  void CompositingChanged() override { Update(); }
  void HandleEvent(XEvent& ev) override {
    if (ev.type != Expose) return ChildWindow::HandleEvent(ev);
    const PixelRect r{ev.xexpose.x, ev.xexpose.y, ev.xexpose.width, ev.xexpose.height};
    if (damage_.w <= 0 || damage_.h <= 0) {
      damage_ = r;
    } else {
      const int x0 = std::min(damage_.x, r.x), y0 = std::min(damage_.y, r.y);
      const int x1 = std::max(damage_.x + damage_.w, r.x + r.w);
      const int y1 = std::max(damage_.y + damage_.h, r.y + r.h);
      damage_ = {x0, y0, x1 - x0, y1 - y0};
    }
    if (ev.xexpose.count == 0) {
      Show(damage_);
      damage_ = {};
    }
  }

 protected:
  void Paint() override { Show({0, 0, Width(), Height()}); }

 private:
  void Show(const PixelRect& area) {
    // A hidden picture (the About window's background and its source picture) is only ever
    // read from; it is drawn once it shows.
    if (!box_.Visible()) return;
    const Image& img = box_.Picture();
    if (img.width <= 0 || img.height <= 0) return;
    Connection& c = Server();
    const int w = std::min(Dev(img.width), Width()), h = std::min(Dev(img.height), Height());
    if (w <= 0 || h <= 0) return;
    // The see-through parts show the screen at the window's place: a move redraws them.
    ::Window child = 0;
    int rootX = 0, rootY = 0;
    XTranslateCoordinates(c.dpy, Window(), c.root, 0, 0, &rootX, &rootY, &child);
    const PixelRect key{rootX, rootY, w, h};
    if (stale_ || !cache_ || !(key == cacheKey_)) {
      // Not drawn while unmapped: the About window composes its picture in steps before it
      // shows, and mapping brings an Expose that draws the last of them once.
      XWindowAttributes a{};
      if (!XGetWindowAttributes(c.dpy, Window(), &a) || a.map_state != IsViewable) return;
      Draw(img, key);
    }
    if (!cache_) return;
    XCopyArea(c.dpy, cache_, Window(), gc_, area.x, area.y, unsigned(area.w), unsigned(area.h),
              area.x, area.y);
  }

  void Draw(const Image& img, const PixelRect& key) {
    Connection& c = Server();
    const int w = key.w, h = key.h;
    XImage* xi = NewImage(Look(), w, h);
    if (!xi) return;
    // The rule every backend draws pictures with, from this window's place on the screen.
    std::vector<bool> holes;
    const std::vector<std::uint32_t> px =
        PictureAtDevice(img, Scale(), w, h, &box_.SeeThroughPixels(), key.x, key.y, &holes);
    const PixelLayout& ours = Look().layout;
    const bool direct = PixelLayout::Direct(xi);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<std::uint32_t*>(xi->data + size_t(y) * size_t(xi->bytes_per_line));
      for (int x = 0; x < w; ++x) {
        const size_t i = size_t(y) * size_t(w) + size_t(x);
        const unsigned long p = holes[i] ? TransparentPixel() : ours.Pack(ColorFromPixel(px[i]));
        if (direct) row[x] = std::uint32_t(p);
        else XPutPixel(xi, x, y, p);
      }
    }
    // Without alpha, see-through parts the screen could not be read for are cut out of the
    // window; so are they with alpha once no compositor blends it (the server shows alpha 0 as
    // black), and put back when one does again.
    if (!Look().alpha || !CompositedNow()) CutHoles(holes, w, h);
    else if (cut_) CutHoles(std::vector<bool>(holes.size(), false), w, h);
    if (!cache_ || cacheKey_.w != w || cacheKey_.h != h) {
      DropCache();
      cache_ = XCreatePixmap(c.dpy, Window(), unsigned(w), unsigned(h), unsigned(Look().depth));
      gc_ = XCreateGC(c.dpy, cache_, 0, nullptr);
    }
    XPutImage(c.dpy, cache_, gc_, xi, 0, 0, 0, 0, unsigned(w), unsigned(h));
    XDestroyImage(xi);  // frees data too
    cacheKey_ = key;
    stale_ = false;
  }

  // The top-level's shape leaves out the holes (this picture's device pixels, row by row), so
  // what lies behind shows instead of the picture's key colour. The top-level is the About
  // window, which has no shape of its own to keep.
  void CutHoles(const std::vector<bool>& holes, int w, int h) {
    const bool any = std::find(holes.begin(), holes.end(), true) != holes.end();
    if (!any && !cut_) return;
    Connection& c = Server();
    int ox = 0, oy = 0;
    ::Window child = 0;
    XTranslateCoordinates(c.dpy, Window(), TopLevel(), 0, 0, &ox, &oy, &child);
    XShapeCombineMask(c.dpy, TopLevel(), ShapeBounding, 0, 0, None, ShapeSet);
    std::vector<XRectangle> runs;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w;) {
        if (!holes[size_t(y) * size_t(w) + size_t(x)]) {
          ++x;
          continue;
        }
        const int start = x;
        while (x < w && holes[size_t(y) * size_t(w) + size_t(x)]) ++x;
        runs.push_back({short(ox + start), short(oy + y), static_cast<unsigned short>(x - start), 1});
      }
    if (!runs.empty())
      XShapeCombineRectangles(c.dpy, TopLevel(), ShapeBounding, 0, 0, runs.data(), int(runs.size()),
                              ShapeSubtract, YXBanded);
    cut_ = any;
  }

  void DropCache() {
    if (!Server().dpy) return;
    if (gc_) XFreeGC(Server().dpy, gc_);
    if (cache_) XFreePixmap(Server().dpy, cache_);
    gc_ = nullptr;
    cache_ = 0;
  }

  PictureBox& box_;
  Pixmap cache_ = 0;     // the picture at device resolution, as last drawn
  GC gc_ = nullptr;
  PixelRect cacheKey_{};  // where it was drawn (root coordinates) and its size
  PixelRect damage_{};    // exposed so far in the current run of Expose events
  bool stale_ = true;
  bool cut_ = false;      // holes are cut out of the top-level's shape
};

// ---- timers ----

long NowMs() { return long(posix::MonotonicMs()); }

class TimerPeer;
std::list<TimerPeer*>& Timers() {
  static auto* timers = new std::list<TimerPeer*>;  // outlives every form, even static ones
  return *timers;
}

class TimerPeer : public ControlPeer {
 public:
  explicit TimerPeer(Timer& t) : timer_(t) { Timers().push_back(this); }
  ~TimerPeer() override { Timers().remove(this); }
  void SetText(const std::string&) override {}
  void SetBounds(const PixelRect&) override {}
  void SetVisible(bool) override {}
  void Update() override { Arm(); }
  void Arm() { due_ = Running() ? NowMs() + timer_.Interval() : -1; }
  bool Running() const { return timer_.Enabled() && timer_.Interval() > 0; }
  long Due() const { return due_; }
  Timer& Owner() { return timer_; }

 private:
  Timer& timer_;
  long due_ = -1;
};

}  // namespace

long MsUntilNextTimer() {
  long best = -1;
  const long now = NowMs();
  for (TimerPeer* t : Timers()) {
    if (t->Due() < 0) continue;
    long left = std::max(0L, t->Due() - now);
    if (best < 0 || left < best) best = left;
  }
  return best;
}

void FireDueTimers() {
  const long now = NowMs();
  std::vector<TimerPeer*> due;
  for (TimerPeer* t : Timers())
    if (t->Due() >= 0 && t->Due() <= now) due.push_back(t);
  for (TimerPeer* t : due) {
    // An earlier tick may have unloaded this timer's form.
    if (std::find(Timers().begin(), Timers().end(), t) == Timers().end()) continue;
    t->Arm();  // one tick however late we are, as Windows merges timer messages
    if (t->Owner().Tick) t->Owner().Tick();
  }
}

}  // namespace x11

std::unique_ptr<ControlPeer> NewCheckBoxPeer(CheckBox& b) { return std::make_unique<x11::CheckWindow>(b); }
std::unique_ptr<ControlPeer> NewOptionButtonPeer(OptionButton& o) {
  return std::make_unique<x11::OptionWindow>(o);
}
std::unique_ptr<ControlPeer> NewCommandButtonPeer(CommandButton& b) {
  return std::make_unique<x11::ButtonWindow>(b);
}
std::unique_ptr<ControlPeer> NewTextBoxPeer(TextBox& b) { return std::make_unique<x11::TextWindow>(b); }
std::unique_ptr<ControlPeer> NewPictureBoxPeer(PictureBox& b) {
  return std::make_unique<x11::PictureWindow>(b);
}
std::unique_ptr<ControlPeer> NewTimerPeer(Timer& t) {
  auto p = std::make_unique<x11::TimerPeer>(t);
  p->Arm();
  return p;
}

// X has no system colours: the grey Windows uses by default.
Color SystemDarkShadowColor() { return x11::kDarkShadow; }

WindowHandle DesktopWindowHandle() { return x11::Server().root; }

// The rectangle is in logical pixels; each logical pixel reads the first of its device pixels.
// The device pixels are in root coordinates, as the pictures that show them look them up.
Image CaptureScreen(int lx, int ly, int lw, int lh, ScreenPixels* device) {
  Image out(std::max(0, lw), std::max(0, lh));
  if (device) *device = {};
  x11::Connection& c = x11::Server();
  const int ox = x11::OriginX(), oy = x11::OriginY();
  const int sw = DisplayWidth(c.dpy, c.screen), sh = DisplayHeight(c.dpy, c.screen);
  const PixelRect d = x11::Scale().ToDevice(PixelRect{lx, ly, lw, lh});
  // XGetImage fails on a rectangle that passes the screen's edge: read only the part on it.
  const int x = d.x + ox, y = d.y + oy, w = d.w, h = d.h;
  const int x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int x1 = std::min(x + w, sw), y1 = std::min(y + h, sh);
  if (x1 <= x0 || y1 <= y0) return out;
  // Where the desktop composites, what lies behind shows through a see-through window's
  // transparent pixels, live; the capture is not needed (and under XWayland the root cannot be
  // read at all).
  if (x11::SurfaceFor(true).alpha) return out;
  XImage* xi = XGetImage(c.dpy, c.root, x0, y0, unsigned(x1 - x0), unsigned(y1 - y0), AllPlanes, ZPixmap);
  if (!xi) {
    static bool said = false;
    if (!said)
      std::fprintf(stderr, "zorvane: the screen cannot be read here; the About window's "
                   "see-through parts are cut out of it instead\n");
    said = true;
    return out;
  }
  const x11::PixelLayout root(DefaultVisual(c.dpy, c.screen), false);  // not our windows' visual
  ScreenPixels kept{{x0, y0, x1 - x0, y1 - y0}, {}};
  const int kw = x1 - x0, kh = y1 - y0;
  kept.pixels.resize(size_t(kw) * size_t(kh));
  const bool direct = x11::PixelLayout::Direct(xi);
  for (int j = 0; j < kh; ++j) {
    std::uint32_t* to = &kept.pixels[size_t(j) * size_t(kw)];
    const auto* row = reinterpret_cast<const std::uint32_t*>(xi->data + size_t(j) * size_t(xi->bytes_per_line));
    for (int i = 0; i < kw; ++i) to[i] = root.Unpack(direct ? row[i] : XGetPixel(xi, i, j));
  }
  XDestroyImage(xi);
  for (int j = 0; j < out.height; ++j)
    for (int i = 0; i < out.width; ++i) {
      const int rx = x11::Dev(lx + i) + ox, ry = x11::Dev(ly + j) + oy;
      if (kept.Contains(rx, ry)) out.At(i, j) = kept.At(rx, ry);
    }
  if (device) *device = std::move(kept);
  return out;
}

}  // namespace plat
