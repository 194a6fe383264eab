// The message box: a small modal window with the wrapped text and one "OK" button.
#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <vector>

#include "platform/app.h"
#include "platform/x11/x11_internal.h"

namespace plat {
namespace x11 {
namespace {

constexpr Color kFace = Rgb(212, 208, 200);
constexpr Color kInk = Rgb(0, 0, 0);
constexpr Color kLight = Rgb(255, 255, 255);
constexpr Color kShadow = Rgb(128, 128, 128);
// Logical pixels; the box is laid out in device pixels (Dev).
constexpr int kMargin = 14, kWrapWidth = 420, kButtonW = 75, kButtonH = 23;

class MessageBoxWindow : public EventTarget {
 public:
  MessageBoxWindow(const std::string& text, const std::string& title) {
    font_ = FontFor({"Tahoma", 9, false});
    lines_ = WrapText(font_, text, Dev(kWrapWidth));
    int textW = 0;
    for (auto& l : lines_) textW = std::max(textW, TextWidth(font_, l));
    lineH_ = font_->ascent + font_->descent + Dev(2);
    const int textH = lineH_ * static_cast<int>(lines_.size());
    const int margin = Dev(kMargin);
    buttonW_ = Dev(kButtonW);
    buttonH_ = Dev(kButtonH);
    const int w = std::max(textW, buttonW_) + 2 * margin;
    const int h = margin + textH + margin + buttonH_ + margin;

    Connection& c = X();
    const PixelRect screen = PrimaryMonitorInRoot();
    const int x = screen.x + (screen.w - w) / 2;
    const int y = screen.y + (screen.h - h) / 2;
    box_ = MakeWindow(c.root, x, y, w, h,
                      ExposureMask | KeyPressMask | StructureNotifyMask | ButtonPressMask);
    textWin_ = MakeWindow(box_, margin, margin, std::max(1, textW), textH, ExposureMask);
    okX_ = (w - buttonW_) / 2;
    button_ = MakeWindow(box_, okX_, h - margin - buttonH_, buttonW_, buttonH_,
                         ExposureMask | ButtonPressMask | ButtonReleaseMask);
    SetWindowText(box_, title);
    SetWindowText(textWin_, text);
    SetWindowText(button_, "OK");
    SetRole(textWin_, "Static");
    SetRole(button_, "Button");

    XSizeHints hints{};
    hints.flags = USPosition | USSize | PMinSize | PMaxSize;
    hints.x = x;
    hints.y = y;
    hints.width = hints.min_width = hints.max_width = w;
    hints.height = hints.min_height = hints.max_height = h;
    XSetWMNormalHints(c.dpy, box_, &hints);
    XChangeProperty(c.dpy, box_, c.atom.wmProtocols, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&c.atom.wmDeleteWindow), 1);
    Atom type = c.atom.netWmWindowTypeDialog;
    XChangeProperty(c.dpy, box_, c.atom.netWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&type), 1);
    SetTopLevelProperties(box_);
    XMapWindow(c.dpy, textWin_);
    XMapWindow(c.dpy, button_);
    XMapRaised(c.dpy, box_);
  }

  ~MessageBoxWindow() override {
    for (::Window w : {button_, textWin_, box_}) Unroute(w);
    if (draw_) XftDrawDestroy(draw_);
    XDestroyWindow(X().dpy, box_);
    XFlush(X().dpy);
  }

  void Run() {
    RunModalLoop(box_, [this] { return closed_; });
  }

  ::Window TopLevel() const override { return box_; }

  void HandleEvent(XEvent& ev) override {
    switch (ev.type) {
      case MapNotify:
        // Without a window manager nobody else gives the box the keyboard.
        if (ev.xmap.window == box_) XSetInputFocus(X().dpy, box_, RevertToParent, CurrentTime);
        break;
      case Expose:
        if (ev.xexpose.count == 0) Paint(ev.xexpose.window);
        break;
      case KeyPress: {
        KeySym k = XLookupKeysym(&ev.xkey, 0);
        if (k == XK_Return || k == XK_KP_Enter || k == XK_Escape || k == XK_space) closed_ = true;
        break;
      }
      case ButtonPress:
        if (ev.xbutton.window == button_ && ev.xbutton.button == Button1) {
          pressed_ = true;
          Paint(button_);
        }
        break;
      case ButtonRelease:
        if (ev.xbutton.window == button_ && ev.xbutton.button == Button1 && pressed_) {
          pressed_ = false;
          // Released over the button: that is the click.
          if (ev.xbutton.x >= 0 && ev.xbutton.y >= 0 && ev.xbutton.x < buttonW_ &&
              ev.xbutton.y < buttonH_)
            closed_ = true;
          else
            Paint(button_);
        }
        break;
      case ClientMessage:
        if (static_cast<Atom>(ev.xclient.data.l[0]) == X().atom.wmDeleteWindow) closed_ = true;
        break;
      default:
        break;
    }
  }

 private:
  ::Window MakeWindow(::Window parent, int x, int y, int w, int h, long events) {
    Connection& c = X();
    XSetWindowAttributes a{};
    a.background_pixel = PixelOf(kFace);
    a.event_mask = events;
    ::Window win = XCreateWindow(c.dpy, parent, x, y, static_cast<unsigned>(w),
                                 static_cast<unsigned>(h), 0, c.depth, InputOutput, c.visual,
                                 CWBackPixel | CWEventMask, &a);
    Route(win, this);
    return win;
  }

  void Paint(::Window w) {
    Display* d = X().dpy;
    if (w == textWin_) {
      XftDraw* draw = XftDrawCreate(d, textWin_, X().visual, X().colormap);
      int y = font_->ascent + Dev(1);
      for (auto& l : lines_) {
        XftDrawStringUtf8(draw, XftColorOf(kInk), font_, 0, y,
                          reinterpret_cast<const FcChar8*>(l.data()), static_cast<int>(l.size()));
        y += lineH_;
      }
      XftDrawDestroy(draw);
    } else if (w == button_) {
      GC gc = XCreateGC(d, button_, 0, nullptr);
      const unsigned bw = unsigned(buttonW_), bh = unsigned(buttonH_), t = unsigned(Scale().Length(1));
      XSetForeground(d, gc, PixelOf(kFace));
      XFillRectangle(d, button_, gc, 0, 0, bw, bh);
      // Edges one logical pixel thick: light top and left, dark bottom and right.
      XSetForeground(d, gc, PixelOf(pressed_ ? kShadow : kLight));
      XFillRectangle(d, button_, gc, 0, 0, bw, t);
      XFillRectangle(d, button_, gc, 0, 0, t, bh);
      XSetForeground(d, gc, PixelOf(pressed_ ? kLight : kInk));
      XFillRectangle(d, button_, gc, 0, int(bh - t), bw, t);
      XFillRectangle(d, button_, gc, int(bw - t), 0, t, bh);
      XFreeGC(d, gc);
      if (!draw_) draw_ = XftDrawCreate(d, button_, X().visual, X().colormap);
      int tx = (buttonW_ - TextWidth(font_, "OK")) / 2;
      int ty = (buttonH_ - (font_->ascent + font_->descent)) / 2 + font_->ascent;
      XftDrawStringUtf8(draw_, XftColorOf(kInk), font_, tx, ty,
                        reinterpret_cast<const FcChar8*>("OK"), 2);
    }
  }

  XftFont* font_ = nullptr;
  XftDraw* draw_ = nullptr;
  std::vector<std::string> lines_;
  int lineH_ = 14, okX_ = 0, buttonW_ = kButtonW, buttonH_ = kButtonH;
  ::Window box_ = 0, textWin_ = 0, button_ = 0;
  bool closed_ = false, pressed_ = false;
};

}  // namespace
}  // namespace x11

void MsgBox(const std::string& text, const std::string& title) {
  x11::MessageBoxWindow box(text, title.empty() ? AppTitle() : title);
  box.Run();
}

}  // namespace plat
