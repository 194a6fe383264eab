// What the user does to the clock: double-clicks and right-button releases.
#include "clock/main_form.h"
#include "platform/app.h"
#include "settings/config_form.h"
#include "settings/mdl_registry.h"
#include "shared/main_mod.h"

void Main::WireHandlers() {
  DblClick = [this] { Form_DblClick(); };
  Label1.DblClick = [this] { Label1_DblClick(); };
  Label2.DblClick = [this] { Label2_DblClick(); };
  Label3.DblClick = [this] { Label3_DblClick(); };
  Label1.MouseUp = [this](int b, int s, float x, float y) { Label1_MouseUp(b, s, x, y); };
  for (plat::ControlArray<plat::Label>* tier : {&Sec, &Min, &Hours, &Daywk, &NumDay, &Mnth, &Yr}) {
    for (int k = 0; k < tier->Count(); ++k) {
      (*tier)(k).DblClick = [this, k] { Tier_DblClick(k); };
      (*tier)(k).MouseUp = [this, k](int b, int s, float x, float y) { Tier_MouseUp(k, b, s, x, y); };
    }
  }
}

// Nothing is saved on the way out: every setting was stored when it changed.
void Main::Form_DblClick() { plat::EndProgram(0); }
void Main::Label3_DblClick() { plat::EndProgram(0); }
void Main::Tier_DblClick(int) { plat::EndProgram(0); }

void Main::Label1_DblClick() {
  FormatSetting = FormatSetting == 1 ? 0 : 1;
  ShowDisplayMode();
  WriteSetting("Format", FormatSetting);
}

void Main::Label2_DblClick() {
  MarkSetting = MarkSetting == 1 ? 0 : 1;
  ShowMark();
  WriteSetting("Mark", MarkSetting);
}

void Main::Label1_MouseUp(int Button, int, float, float) {
  if (Button != plat::kRightButton) return;
  // Modal: the loop, and with it the tiers, stand still until the dialog closes.
  ConfigWindow(*this).ShowModal();
  ShowMark();
}

void Main::Tier_MouseUp(int, int Button, int Shift, float X, float Y) {
  Label1_MouseUp(Button, Shift, X, Y);
}
