// The single-instance search and the application title around it. The lock that settles two
// copies started at once is checked where it shows: Startup.SecondCopyIsRefusedBeforeAnythingElse.
#include <gtest/gtest.h>

#include "instance/mod_is_it_running.h"
#include "platform/app.h"
#include "platform/forms.h"
#include "platform/null/null_backend.h"

namespace {

using plat::null::World;

TEST(IsItRunning, SearchesUnderAJunkTitleAndRestoresIt) {
  plat::SetAppTitle("Zorvane");
  EXPECT_EQ(IsItRunning("Zorvane"), 0u);
  EXPECT_EQ(World().titleDuringSearch, "Some Junk Title");
  EXPECT_EQ(plat::AppTitle(), "Zorvane");
}

TEST(IsItRunning, FindsAnyTopLevelWindowWithThatCaptionInAnyCase) {
  World().foreignWindows = {"Zorvane - Notes", "Zorvan", "Zorvane!"};
  EXPECT_EQ(IsItRunning("Zorvane"), 0u);  // the whole caption only
  World().foreignWindows.push_back("ZORVANE");
  EXPECT_EQ(IsItRunning("Zorvane"), 0x100u + 3);

  plat::null::Reset();
  plat::Form other("Other", plat::FormStyle::Borderless);
  other.Load();
  other.SetCaption("Zorvane");
  EXPECT_EQ(IsItRunning("Zorvane"), other.hWnd());
}

}  // namespace
