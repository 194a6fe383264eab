// The Setup dialog: screen spot, 24-hour display and the alignment mark, applied together.
#pragma once
#include "platform/forms.h"

class Main;

class Config : public plat::Form {
 public:
  explicit Config(Main& clock);

  void Command1_Click();  // Apply
  void Command2_Click();  // About
  void Label2_Click();    // the maker's web page
  Main& Clock() const { return clock_; }

  plat::CheckBox Check1{*this, "Check1"};  // "Marker ON"
  plat::CheckBox Check2{*this, "Check2"};  // "Military Time"
  // Placed as the spots they stand for lie on the screen; option i stands for Position (i+1) mod 7.
  plat::ControlArray<plat::OptionButton> Option1{*this, "Option1", 7};
  plat::CommandButton Command1{*this, "Command1"};
  plat::CommandButton Command2{*this, "Command2"};
  plat::Label Label1{*this, "Label1"};
  plat::Label Label2{*this, "Label2"};

 protected:
  void Form_Load() override;

 private:
  Main& clock_;
};

// The one Setup dialog, made on first use.
Config& ConfigWindow(Main& clock);

// The Position an option button stands for.
int PositionOfOption(int index);
