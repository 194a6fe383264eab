// Escape in the shared keyboard rules: it presses the form's Cancel button, wherever the focus is.
#include <gtest/gtest.h>

#include "platform/forms.h"

TEST(KeyboardRules, EscapePressesTheCancelButton) {
  const struct Row {
    const char* what;
    bool noIsCancel, noVisible, used;
  } rows[] = {{"Cancel button, focus on another", true, true, true},
              {"no Cancel button", false, true, false},
              {"Cancel button hidden", true, false, false}};
  for (const Row& r : rows) {
    plat::Form f("Ask", plat::FormStyle::FixedDialog);
    plat::CommandButton yes{f, "Yes"}, no{f, "No"};
    yes.TabIndex = 0;
    no.TabIndex = 1;
    no.Cancel = r.noIsCancel;
    no.SetVisible(r.noVisible);
    int clicks = 0;
    yes.Click = [&] { clicks += 10; };
    no.Click = [&] { ++clicks; f.Unload(); };  // as a message box's OK closes its form
    f.Show();
    ASSERT_EQ(f.FocusedControl(), &yes) << r.what;
    EXPECT_EQ(f.NativeKey(plat::Key::Escape, 0), r.used) << r.what;
    EXPECT_EQ(clicks, r.used ? 1 : 0) << r.what;
    EXPECT_EQ(f.Loaded(), !r.used) << r.what;
  }
}
