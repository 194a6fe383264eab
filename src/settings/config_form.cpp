#include "settings/config_form.h"

#include <memory>

#include "about/about_form.h"
#include "clock/main_form.h"
#include "platform/app.h"
#include "platform/process.h"
#include "settings/mdl_registry.h"
#include "shared/assets.h"
#include "shared/main_mod.h"

namespace {

// The dialog wears the clock's colours; its two lines of text a browner ink of their own.
constexpr plat::Color kLabelInk = plat::Rgb(83, 57, 4);

}  // namespace

int PositionOfOption(int index) { return (index + 1) % 7; }

Config::Config(Main& clock) : plat::Form("Config", plat::FormStyle::FixedDialog), clock_(clock) {
  SetCaption("Setup");
  BackColor = ClockBackColor;
  Icon = {kZorvaneIco, kZorvaneIcoSize};
  SetWidth(3360 + 90);
  SetHeight(2280 + 330 + 45);

  struct Place {
    plat::Label& control;
    float left, top, width, height;
  };
  const Place boxes[] = {
      {Check1, 210, 720, 1305, 255},   {Check2, 1710, 720, 1515, 255},
      {Option1(0), 60, 30, 255, 255},  {Option1(1), 1560, 30, 255, 255},
      {Option1(2), 3060, 30, 255, 255}, {Option1(3), 30, 1980, 255, 255},
      {Option1(4), 1560, 1980, 255, 255}, {Option1(5), 3060, 1980, 255, 255},
      {Option1(6), 1560, 1100, 255, 255},
  };
  for (const Place& p : boxes) {
    p.control.Move(p.left, p.top, p.width, p.height);
    p.control.BackColor = ClockBackColor;
    p.control.ForeColor = ClockInkColor;
    p.control.Font = {"Times New Roman", 9.75, true};
  }
  // The option buttons show no text; a screen reader names each after the spot it stands for.
  static const char* const kSpots[7] = {"top left",    "top centre",   "top right", "bottom left",
                                        "bottom centre", "bottom right", "centre"};
  for (int i = 0; i < Option1.Count(); ++i) Option1(i).AccessibleName = kSpots[i];
  Label2.Role = plat::AccessRole::Link;
  Check1.SetCaption("Marker ON");
  Check2.SetCaption("Military Time");

  Command1.Move(2070, 1410, 915, 315);
  Command1.SetCaption("Apply");
  Command2.Move(450, 1410, 915, 315);
  Command2.SetCaption("About");
  for (plat::CommandButton* b : {&Command1, &Command2}) {
    b->BackColor = ClockBackColor;
    b->Font = {"Tahoma", 8.25, false};
  }

  Label1.Move(150, 270, 3075, 405);
  Label1.SetCaption("Select on screen location, Dbl Click Clock to Close");
  Label2.Move(120, 1770, 3135, 195);
  Label2.SetCaption(kMakerWebAddress);
  for (plat::Label* l : {&Label1, &Label2}) {
    l->BackColor = ClockBackColor;
    l->ForeColor = kLabelInk;
    l->Font = {"Times New Roman", 8.25, true};
    l->TextAlign = plat::Alignment::Center;
  }

  // Tab order. The option buttons are one group, which Tab visits as one stop: at the chosen
  // option's own index, so with the centre chosen the group comes last, after About.
  Check1.TabIndex = 0;
  Check2.TabIndex = 1;
  for (int i = 0; i < 6; ++i) Option1(i).TabIndex = 2 + i;
  Command1.TabIndex = 8;
  Label1.TabIndex = 9;
  Label2.TabIndex = 10;
  Command2.TabIndex = 11;
  Option1(6).TabIndex = 12;

  Command1.Click = [this] { Command1_Click(); };
  Command2.Click = [this] { Command2_Click(); };
  Label2.Click = [this] { Label2_Click(); };
}

void Config::Form_Load() {
  Move(clock_.Left() + 1100, clock_.Top() + 600);
  KeepOnScreen(*this);  // beside a clock at the screen's edge it would reach past it
  // Loaded afresh each time: what is not ticked here stays empty.
  Check1.SetValue(0);
  Check2.SetValue(0);
  for (int i = 0; i < Option1.Count(); ++i) Option1(i).SetValue(false);
  if (MarkSetting == 1) Check1.SetValue(1);
  if (FormatSetting == 1) Check2.SetValue(1);
  for (int i = 0; i < Option1.Count(); ++i)
    if (PositionSetting == PositionOfOption(i)) Option1(i).SetValue(true);
}

void Config::Command1_Click() {
  MarkSetting = Check1.Value();
  FormatSetting = Check2.Value();
  clock_.ShowDisplayMode();
  WriteSetting("Format", FormatSetting);
  WriteSetting("Mark", MarkSetting);
  for (int i : {6, 0, 1, 2, 3, 4, 5}) {
    if (!Option1(i).Value()) continue;
    PositionSetting = PositionOfOption(i);
    clock_.PlaceClock(PositionSetting);
    break;
  }
  WriteSetting("Position", PositionSetting);
  Unload();
}

void Config::Command2_Click() { AboutWindow().ShowModal(); }

void Config::Label2_Click() {
  // The browser the dialog was made for, where it is installed; elsewhere (no ProgramFiles, no
  // such file) the user's own browser opens the page.
  const std::string browser = plat::Environ("ProgramFiles") + "\\Internet Explorer\\IEXPLORE.EXE";
  if (plat::FileExists(browser)) plat::StartProgram({browser, kMakerWebAddress}, true);
  else plat::OpenUrl(kMakerWebAddress);
}

Config& ConfigWindow(Main& clock) {
  static std::unique_ptr<Config> config;
  if (!config || &config->Clock() != &clock) config = std::make_unique<Config>(clock);
  return *config;
}
