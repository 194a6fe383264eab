#include "platform/null/null_backend.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <stdexcept>

#include "platform/app.h"
#include "platform/common/pause_timers.h"
#include "platform/emulated/hive.h"
#include "platform/instance_lock.h"
#include "platform/picture_box.h"
#include "platform/process.h"
#include "platform/wait.h"
#include "platform/window_search.h"

namespace plat {
namespace null {
namespace {

State* g_state = nullptr;
std::string g_title;
WindowHandle g_nextHandle = 0x1000;

struct NullFormPeer;
std::map<const Form*, NullFormPeer*>& Forms() {
  static auto* forms = new std::map<const Form*, NullFormPeer*>;  // outlives static forms
  return *forms;
}

struct NullFormPeer : FormPeer {
  explicit NullFormPeer(Form& f) : form(f), handle(++g_nextHandle) { Forms()[&f] = this; }
  ~NullFormPeer() override { Forms().erase(&form); }
  WindowHandle Handle() const override { return handle; }
  void SetText(const std::string& t) override {
    view.text = t;
    ++World().textSends;
  }
  void SetBounds(const PixelRect& r) override {
    view.bounds = r;
    ++World().boundsSends;
  }
  void Show() override { view.shown = true; }
  void RunModal() override {
    Form& f = form;  // this peer dies if the form unloads
    World().modalForms.push_back(f.DesignName());
    if (World().onModal) World().onModal(f);
    if (f.Peer() == this) f.Unload();
  }
  Form& form;
  WindowHandle handle;
  FormView view;
};

struct NullControlPeer : ControlPeer {
  void SetText(const std::string&) override { ++World().textSends; }
  void SetBounds(const PixelRect&) override { ++World().boundsSends; }
  void SetVisible(bool) override { ++World().visibilitySends; }
};

std::vector<Timer*>& LiveTimers() {
  static auto* timers = new std::vector<Timer*>;
  return *timers;
}

struct NullTimerPeer : NullControlPeer {
  explicit NullTimerPeer(Timer& t) : timer(t) { LiveTimers().push_back(&t); }
  ~NullTimerPeer() override { std::erase(LiveTimers(), &timer); }
  Timer& timer;
};

// One second after t.
DateTime OneSecondOn(DateTime t) {
  if (++t.second < 60) return t;
  t.second = 0;
  if (++t.minute < 60) return t;
  t.minute = 0;
  if (++t.hour < 24) return t;
  return ToDateTime(AddDays(DateOf(t), 1));
}

// The clocks and queue of State, as the pause loop asks for them.
class NullPauseSystem : public PauseSystem {
 public:
  std::int64_t MonotonicNs() override { return World().monotonic.count(); }
  bool MessagesQueued() override { return World().inputQueued > 0 || World().repaintsQueued > 0; }
  bool OnlyRepaintsQueued() override { return World().inputQueued == 0; }
  std::int64_t NsUntilIntervalTimer() override {
    return World().intervalTimer ? World().intervalTimer->count() : -1;
  }
  std::int64_t NsUntilReadingChanges(const DateTime& shown) override {
    return shown != World().now ? 0 : (std::chrono::seconds(1) - World().intoSecond).count();
  }
  // Nothing arrives during a sleep here: the loop never sleeps past a queued message or a due
  // interval timer, so the whole span passes.
  Woke Sleep(std::int64_t ns, bool watchChanges) override {
    using std::chrono::nanoseconds, std::chrono::seconds;
    State& s = World();
    if (watchChanges && s.wallClockSet) {
      s.wallClockSet = false;
      return Woke::kChanged;
    }
    if (ns < 0) return Woke::kFailed;  // would sleep for ever: nothing here wakes it
    const nanoseconds slept(ns);
    s.monotonic += slept;
    for (s.intoSecond += slept; s.intoSecond >= seconds(1); s.intoSecond -= seconds(1))
      s.now = OneSecondOn(s.now);
    if (s.intervalTimer) s.intervalTimer = std::max(nanoseconds(0), *s.intervalTimer - slept);
    return Woke::kMaybe;
  }
};

NullPauseSystem g_pauseSystem;  // holds nothing: all it reads is in State

PauseTimers& Pauses() {
  static PauseTimers pauses(g_pauseSystem);
  return pauses;
}

}  // namespace

State& World() {
  if (!g_state) g_state = new State;
  return *g_state;
}

void Reset() {
  delete g_state;
  g_state = new State;
  g_title.clear();
  Pauses() = PauseTimers(g_pauseSystem);
}

void FireTimers(int times) {
  for (int i = 0; i < times; ++i) {
    std::vector<Timer*> now = LiveTimers();
    for (Timer* t : now) {
      if (std::find(LiveTimers().begin(), LiveTimers().end(), t) == LiveTimers().end()) continue;
      if (t->Enabled() && t->Interval() > 0 && t->Tick) t->Tick();
    }
  }
}

const FormView* ViewOf(const Form& form) {
  auto it = Forms().find(&form);
  return it == Forms().end() ? nullptr : &it->second->view;
}

}  // namespace null

using null::World;

std::string Initialize(int, int) { return {}; }
const std::string& AppTitle() { return null::g_title; }
void SetAppTitle(const std::string& t) { null::g_title = t; }
int TwipsPerPixelX() { return 15; }
int TwipsPerPixelY() { return 15; }
std::vector<Monitor> Monitors() {
  if (!World().monitors.empty()) return World().monitors;
  return {MonitorRect{0, 0, double(World().screenWidthPixels * 15),
                      double(World().screenHeightPixels * 15)}};
}

DoubleClickLimits PlatformDoubleClickLimits() { return World().doubleClick; }
Color SystemDarkShadowColor() { return Rgb(64, 64, 64); }
bool TakesCommandLine() { return false; }
void ReportClosedPipesAsWriteErrors() {}
std::string SettingsLocation() { return "memory"; }

void DoEvents() {
  null::State& s = World();
  ++s.doEvents;
  if (s.inputQueued > 0)
    --s.inputQueued;
  else if (s.repaintsQueued > 0)
    --s.repaintsQueued;
  if (s.intervalTimer && s.intervalTimer->count() == 0) s.intervalTimer.reset();  // its one tick
  if (s.onDoEvents) s.onDoEvents();
}

void EndProgram(int status) { throw null::ProgramEnded{status}; }

void MsgBox(const std::string& text, const std::string& title) {
  World().messages.push_back(text);
  World().messageTitles.push_back(title.empty() ? null::g_title : title);
  if (World().onMsgBox) World().onMsgBox(text);
}

std::string ExeBaseName() { return World().exeBaseName; }
std::string Environ(const std::string&) { return {}; }

DateTime LocalNow() { return World().now; }

std::string WeekdayName(int weekday, bool abbreviate) {
  static const char* kNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
  std::string n = kNames[(weekday - 1) % 7];
  return abbreviate ? n.substr(0, 3) : n;
}

std::string MonthName(int month, bool abbreviate) {
  static const char* kNames[] = {"January", "February", "March",     "April",   "May",      "June",
                                 "July",    "August",   "September", "October", "November", "December"};
  std::string n = kNames[(month - 1) % 12];
  return abbreviate ? n.substr(0, 3) : n;
}

Handle CreateWaitableTimerA(void*, bool, const char* name) {
  World().timerNames.push_back(name ? name : "");
  if (World().failCreateTimer) return 0;
  ++World().timersOpen;
  return null::Pauses().Create();
}

bool SetWaitableTimer(Handle timer, std::uint32_t low, std::int32_t high, long, void*, void*, bool) {
  World().dueTimes.emplace_back(low, high);
  return !World().failSetTimer && null::Pauses().Arm(timer, low, high);
}

void HintNextChange(const DateTime& shown) {
  World().hints.push_back(shown);
  null::Pauses().Hint(shown);
}

bool CloseHandle(Handle h) {
  if (!null::Pauses().Close(h)) return false;
  --World().timersOpen;
  return true;
}

std::uint32_t MsgWaitForMultipleObjects(std::uint32_t count, const Handle* handles, bool,
                                        std::uint32_t timeoutMs, std::uint32_t wakeMask) {
  ++World().waits;
  World().waitCalls.push_back({count, timeoutMs, wakeMask});
  if (World().endAfterWaits >= 0 && World().waits > World().endAfterWaits) EndProgram(0);
  ++(count == 0 ? World().plainPauses : World().timerWaits);
  if (count == 0 ? World().failPlainPause : World().failWaits) return kWaitFailed;
  const auto before = World().monotonic;
  const std::uint32_t result = null::Pauses().Wait(count, handles, timeoutMs);
  World().wakes.emplace_back(std::chrono::duration<double, std::milli>(World().monotonic - before).count(),
                         result);
  return result;
}

void Sleep(std::uint32_t) { ++World().sleeps; }

WindowHandle FindWindowA(const char*, const char* name) {
  World().titleDuringSearch = null::g_title;
  if (!name) return 0;
  for (auto& [form, peer] : null::Forms())
    if (SameCaption(peer->view.text, name)) return peer->handle;
  for (size_t i = 0; i < World().foreignWindows.size(); ++i)
    if (SameCaption(World().foreignWindows[i], name)) return 0x100 + i;
  return 0;
}

bool ClaimSingleInstance(const std::string&) {
  ++World().lockClaims;
  return !World().lockHeldElsewhere;
}

RegionHandle CreatePolygonRgn(const Point* points, int count, int) {
  static std::vector<Point> pending;
  pending.assign(points, points + count);
  World().windowRegion = pending;
  return reinterpret_cast<RegionHandle>(&pending);
}

int SetWindowRgn(WindowHandle window, RegionHandle, bool) {
  World().regionWindow = window;
  return 1;
}

std::unique_ptr<FormPeer> NewFormPeer(Form& form) { return std::make_unique<null::NullFormPeer>(form); }
std::unique_ptr<ControlPeer> NewLabelPeer(Label&) { return std::make_unique<null::NullControlPeer>(); }
std::unique_ptr<ControlPeer> NewLinePeer(Line&) { return std::make_unique<null::NullControlPeer>(); }
std::unique_ptr<ControlPeer> NewCheckBoxPeer(CheckBox&) { return std::make_unique<null::NullControlPeer>(); }
std::unique_ptr<ControlPeer> NewOptionButtonPeer(OptionButton&) {
  return std::make_unique<null::NullControlPeer>();
}
std::unique_ptr<ControlPeer> NewCommandButtonPeer(CommandButton&) {
  return std::make_unique<null::NullControlPeer>();
}
std::unique_ptr<ControlPeer> NewTextBoxPeer(TextBox&) { return std::make_unique<null::NullControlPeer>(); }
std::unique_ptr<ControlPeer> NewPictureBoxPeer(PictureBox&) {
  return std::make_unique<null::NullControlPeer>();
}
std::unique_ptr<ControlPeer> NewTimerPeer(Timer& t) { return std::make_unique<null::NullTimerPeer>(t); }

WindowHandle DesktopWindowHandle() { return 0x10; }

// One device pixel per logical one here.
Image CaptureScreen(int x, int y, int w, int h, ScreenPixels* device) {
  Image out(std::max(0, w), std::max(0, h));
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (World().screen.Contains(x + i, y + j)) out.At(i, j) = World().screen.At(x + i, y + j);
  if (device) *device = {{x, y, out.width, out.height}, out.pixels};
  return out;
}

bool FileExists(const std::string& path) {
  return std::find(World().existingFiles.begin(), World().existingFiles.end(), path) != World().existingFiles.end();
}

bool StartProgram(const std::vector<std::string>& argv, bool) {
  World().started.push_back(argv);
  return !argv.empty() && FileExists(argv[0]);
}

bool OpenUrl(const std::string& url) {
  World().urlsOpened.push_back(url);
  return true;
}

HiveStore& ActiveHiveStore() { return World().hive; }

}  // namespace plat
