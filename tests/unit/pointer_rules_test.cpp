// The shared rules that turn raw presses and releases into MouseDown, MouseUp, Click and DblClick.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/forms.h"
#include "platform/null/null_backend.h"

namespace {

using plat::PointerEvent;

// Two labels side by side, 100 x 20 px at (0,0) and (100,0); every event is logged.
struct Pad : plat::Form {
  plat::Label A{*this, "A"}, B{*this, "B"};
  std::vector<std::string> log;
  Pad() : plat::Form("Pad", plat::FormStyle::Borderless) {
    A.Move(0, 0, 1500, 300);
    B.Move(1500, 0, 1500, 300);
    for (plat::Label* l : {&A, &B}) {
      const std::string n = l->DesignName();
      l->Click = [this, n] { log.push_back(n + " click"); };
      l->DblClick = [this, n] { log.push_back(n + " dbl"); };
      l->MouseDown = [this, n](int b, int s, float x, float) {
        log.push_back(n + " down " + std::to_string(b) + "/" + std::to_string(s) + " x" +
                      std::to_string(int(x)));
      };
      l->MouseUp = [this, n](int b, int s, float x, float) {
        log.push_back(n + " up " + std::to_string(b) + "/" + std::to_string(s) + " x" +
                      std::to_string(int(x)));
      };
    }
    DblClick = [this] { log.push_back("form dbl"); };
    MouseUp = [this](int b, int, float, float) { log.push_back("form up " + std::to_string(b)); };
    Load();
  }
  // A press at (x,y) over `on` at time t, then its release there.
  void Tap(plat::Control* on, int button, std::uint32_t t, int x = 10, int y = 10, int shift = 0) {
    NativePointer(on, {true, button, shift, x, y, t});
    NativePointer(on, {false, button, shift, x, y, t + 30});
  }
};

// Whatever the platform's double-click setting (time, and distance either way), a second left
// press is a double-click up to its limits and not one past them.
TEST(PointerRules, SecondLeftPressWithinThePlatformsLimitsIsADoubleClick) {
  const plat::DoubleClickLimits settings[] = {
      {500, 4, 4},  // the X11 program's
      {500, 2, 2},  // Windows' default (a 4 x 4 px box)
      {900, 8, 3},  // a user's own
  };
  for (const plat::DoubleClickLimits& l : settings) {
    plat::null::World().doubleClick = l;
    struct Row {
      const char* what;
      bool onB;
      std::uint32_t t;
      int x, y;
      bool dbl;
    } rows[] = {
        {"80 ms later", false, 1080, 10, 10, true},
        {"at the time limit", false, 1000 + l.ms, 10, 10, true},
        {"1 ms past it", false, 1001 + l.ms, 10, 10, false},
        {"at the distance limits", false, 1080, 10 + l.dx, 10 - l.dy, true},
        {"1 px right of them", false, 1080, 11 + l.dx, 10, false},
        {"1 px above them", false, 1080, 10, 9 - l.dy, false},
        {"other control", true, 1080, 10, 10, false},
        {"stamped before the first", false, 999, 10, 10, false},
    };
    for (const Row& r : rows) {
      Pad p;
      p.Tap(&p.A, plat::kLeftButton, 1000);
      p.Tap(r.onB ? static_cast<plat::Control*>(&p.B) : &p.A, plat::kLeftButton, r.t, r.x, r.y);
      const std::string second = p.log.at(3);
      EXPECT_EQ(second == "A dbl", r.dbl)
          << r.what << " with " << l.ms << " ms, +-" << l.dx << "/" << l.dy << ": " << second;
    }
  }
}

TEST(PointerRules, AButtonClickedTwiceQuicklyClicksTwice) {
  Pad p;
  plat::CommandButton ok{p, "OK"};
  ok.Move(0, 600, 1500, 300);
  int clicks = 0;
  ok.Click = [&] { ++clicks; };
  p.Unload();
  p.Load();
  p.Tap(&ok, plat::kLeftButton, 1000, 10, 50);
  p.Tap(&ok, plat::kLeftButton, 1100, 10, 50);
  EXPECT_EQ(clicks, 2);
}

TEST(PointerRules, ServerTimeWrapsAt32Bits) {
  for (auto [t, dbl] : {std::pair{0x00000050u, true}, std::pair{0x00000200u, false}}) {
    Pad p;
    p.Tap(&p.A, plat::kLeftButton, 0xFFFFFF00u);
    p.Tap(&p.A, plat::kLeftButton, t);
    EXPECT_EQ(p.log.at(3) == "A dbl", dbl) << t;
  }
}

TEST(PointerRules, SequencesOfClicks) {
  struct Row {
    const char* what;
    std::vector<std::string> want;
    void (*act)(Pad&);
  } rows[] = {
      {"a left click, then a double-click",
       {"A down 1/0 x150", "A up 1/0 x150", "A click", "A dbl", "A up 1/0 x150"},
       [](Pad& p) { p.Tap(&p.A, 1, 1000); p.Tap(&p.A, 1, 1100); }},
      {"right twice quickly: two plain pairs, no double-click",
       {"A down 2/0 x150", "A up 2/0 x150", "A down 2/0 x150", "A up 2/0 x150"},
       [](Pad& p) { p.Tap(&p.A, 2, 1000); p.Tap(&p.A, 2, 1100); }},
      {"a third quick press starts over",
       {"A down 1/0 x150", "A up 1/0 x150", "A click", "A dbl", "A up 1/0 x150",
        "A down 1/0 x150", "A up 1/0 x150", "A click"},
       [](Pad& p) { p.Tap(&p.A, 1, 1000); p.Tap(&p.A, 1, 1100); p.Tap(&p.A, 1, 1200); }},
      {"pressed on A, released over B: A has it, no click",
       {"A down 2/0 x150", "A up 2/0 x1650"},
       [](Pad& p) {
         p.NativePointer(&p.A, {true, 2, 0, 10, 10, 1000});
         p.NativePointer(&p.B, {false, 2, 0, 110, 10, 1050});
       }},
      {"a release without its press is nobody's", {},
       [](Pad& p) { p.NativePointer(&p.A, {false, 1, 0, 10, 10, 1000}); }},
      {"modifier bits pass through",
       {"B down 1/7 x150", "B up 1/7 x150", "B click"},
       [](Pad& p) { p.Tap(&p.B, 1, 1000, 110, 10, 7); }},
      {"the background: a left double-click and a right release",
       {"form up 1", "form dbl", "form up 1", "form up 2"},
       [](Pad& p) { p.Tap(nullptr, 1, 1000); p.Tap(nullptr, 1, 1100); p.Tap(nullptr, 2, 2000); }},
  };
  for (const Row& r : rows) {
    Pad p;
    r.act(p);
    EXPECT_EQ(p.log, r.want) << r.what;
  }
}

}  // namespace
