// The in-memory backend for unit tests: no display, a clock the test sets, a registry hive in
// memory, and counters for everything the program asked of the platform.
#pragma once
#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/app.h"
#include "platform/emulated/memory_hive_store.h"
#include "platform/dates.h"
#include "platform/forms.h"
#include "platform/image.h"
#include "platform/region.h"

namespace plat::null {

// EndProgram throws this instead of exiting, so a test can watch the program end.
struct ProgramEnded {
  int status;
};

struct State {
  DateTime now{2008, 2, 5, 14, 5, 9};
  long screenWidthPixels = 1024, screenHeightPixels = 768;
  std::vector<Monitor> monitors;  // twips, primary first; none: the screen above, all of it work area
  std::string exeBaseName = "zorvane";
  DoubleClickLimits doubleClick;  // the platform's double-click setting

  // Message boxes shown, in order; onMsgBox runs while one is "up".
  std::vector<std::string> messages, messageTitles;
  std::function<void(const std::string&)> onMsgBox;

  // Other programs' top-level windows (captions) that FindWindowA can find.
  std::vector<std::string> foreignWindows;
  std::string titleDuringSearch;  // the application title while FindWindowA ran
  bool lockHeldElsewhere = false;
  int lockClaims = 0;

  // Timers and waits. The waits run the pause loop the X11 program runs (common/pause_timers.h)
  // over the clocks and queue below.
  bool failCreateTimer = false, failSetTimer = false, failWaits = false, failPlainPause = false;
  // Batches of input and of repaints queued: each ends a wait, and DoEvents handles one batch a
  // call, input first.
  int inputQueued = 0, repaintsQueued = 0;
  std::function<void()> onDoEvents;  // the "messages" DoEvents handles
  int endAfterWaits = -1;            // EndProgram(0) from the wait after this many waits
  std::vector<std::string> timerNames;
  std::vector<std::pair<std::uint32_t, std::int32_t>> dueTimes;
  int timersOpen = 0, timerWaits = 0, plainPauses = 0, sleeps = 0, doEvents = 0, waits = 0;
  // Each wait call as {count, time-out, wake mask}.
  std::vector<std::array<std::uint32_t, 3>> waitCalls;

  // The hinted pause (wait.h). Time stands still here except while a pause sleeps; a sleep moves
  // the monotonic clock, intoSecond (whole seconds carry into `now`) and intervalTimer on.
  std::vector<DateTime> hints;  // every hint given
  std::chrono::nanoseconds monotonic{0}, intoSecond{0};  // intoSecond: of the reading `now`
  std::optional<std::chrono::nanoseconds> intervalTimer;  // until one is due; DoEvents ticks it
  bool wallClockSet = false;  // by the next sleep that watches for it
  std::vector<std::pair<double, std::uint32_t>> wakes;  // each wait's {ms slept, result}

  // Region handed to a window.
  std::vector<Point> windowRegion;
  WindowHandle regionWindow = 0;

  // The screen a capture reads (pixels outside it read black), and what was started.
  Image screen{1024, 768, 0x336699};
  std::vector<std::vector<std::string>> started;
  std::vector<std::string> urlsOpened;
  std::vector<std::string> existingFiles;

  // Runs while a form is shown modally, as the user would act on it; a form still loaded
  // afterwards is closed as if by its close box.
  std::function<void(Form&)> onModal;
  std::vector<std::string> modalForms;

  // Peer traffic: what would have gone to the display.
  int textSends = 0, boundsSends = 0, visibilitySends = 0;

  MemoryHiveStore hive;
};

// The one world the backend pretends: its clock, screen, hive, counters and injected failures.
State& World();
void Reset();

// The native state of a loaded form.
struct FormView {
  bool shown = false;
  std::string text;
  PixelRect bounds;
};
const FormView* ViewOf(const Form& form);

// Runs the ticks of every enabled timer of a loaded form, as if that much time had passed.
void FireTimers(int times = 1);

}  // namespace plat::null
