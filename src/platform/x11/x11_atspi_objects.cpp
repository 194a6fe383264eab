// The AT-SPI objects: the application ("root"), each shown form and each control a reader sees
// (common/access.cpp says which, as what). An object is named by a number in its path, handed out
// the first time a client hears of it and dropped with its window.
#include <algorithm>
#include <clocale>
#include <cstring>
#include <functional>
#include <unordered_map>
#include <vector>

#include "platform/app.h"
#include "platform/common/access.h"
#include "platform/common/utf8.h"
#include "platform/x11/x11_atspi.h"
#include "platform/x11/x11_atspi_objects.h"
#include "platform/x11/x11_forms.h"

namespace plat::x11::atspi {
namespace {

constexpr const char* kPathPrefix = "/org/a11y/atspi/accessible/";
constexpr const char* kNullPath = "/org/a11y/atspi/null";
constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kApplication = "org.a11y.atspi.Application";
constexpr const char* kComponent = "org.a11y.atspi.Component";
constexpr const char* kAction = "org.a11y.atspi.Action";
constexpr const char* kText = "org.a11y.atspi.Text";
constexpr const char* kProperties = "org.freedesktop.DBus.Properties";
constexpr const char* kEventObject = "org.a11y.atspi.Event.Object";

// AT-SPI's numbers (atspi-constants.h).
enum : unsigned { kRoleAlert = 2, kRoleCheckBox = 7, kRoleDialog = 16, kRoleFrame = 23,
                  kRoleLabel = 29, kRolePushButton = 43, kRoleRadioButton = 44, kRoleText = 61,
                  kRoleWindow = 69, kRoleApplication = 75, kRoleLink = 88 };
enum : unsigned { kActive = 1, kChecked = 4, kEnabled = 8, kFocusable = 11, kFocused = 12,
                  kModal = 16, kMultiLine = 17, kSensitive = 24, kShowing = 25, kSingleLine = 26,
                  kVisible = 30, kCheckable = 41 };
constexpr unsigned kRelationMemberOf = 5;
constexpr unsigned kLayerWidget = 3, kLayerWindow = 7;
constexpr unsigned kCoordsWindow = 1;

// A form or a control (control set); both null: the application.
struct Node {
  Form* form = nullptr;
  Control* control = nullptr;
  bool IsRoot() const { return !form; }
};

struct Entry {
  Node node;
  bool nameRead = false;  // a client read the name: tell it when it changes
};

std::unordered_map<const void*, unsigned> g_ids;
std::unordered_map<unsigned, Entry> g_entries;
unsigned g_nextId = 1;
std::vector<Form*> g_shown;  // the application's children, in the order they appeared
Form* g_active = nullptr;
std::string g_desktop;

unsigned IdOf(const Node& n) {
  const void* key = n.control ? static_cast<const void*>(n.control) : n.form;
  auto [it, added] = g_ids.emplace(key, g_nextId);
  if (added) g_entries[g_nextId++] = {n, false};
  return it->second;
}

std::string PathOf(const Node& n) {
  return n.IsRoot() ? kRootPath : kPathPrefix + std::to_string(IdOf(n));
}

// Ours; empty once the bus went away in the middle of a call.
std::string BusName() { return Bus() ? Bus()->UniqueName() : ""; }

Entry* EntryAt(const char* path) {
  const size_t len = std::strlen(kPathPrefix);
  if (!path || std::strncmp(path, kPathPrefix, len) != 0) return nullptr;
  auto it = g_entries.find(static_cast<unsigned>(std::strtoul(path + len, nullptr, 10)));
  return it == g_entries.end() ? nullptr : &it->second;
}

bool Showing(const Form& f) {
  FormWindow* w = FormWindowOf(f.hWnd());
  return w && w->Mapped();
}

unsigned RoleNumber(AccessRole r) {
  switch (r) {
    case AccessRole::Frame: return kRoleFrame;
    case AccessRole::Dialog: return kRoleDialog;
    case AccessRole::Alert: return kRoleAlert;
    case AccessRole::Window: return kRoleWindow;
    case AccessRole::Link: return kRoleLink;
    case AccessRole::PushButton: return kRolePushButton;
    case AccessRole::CheckBox: return kRoleCheckBox;
    case AccessRole::RadioButton: return kRoleRadioButton;
    case AccessRole::Text: return kRoleText;
    default: return kRoleLabel;
  }
}

const char* RoleName(unsigned role) {
  switch (role) {
    case kRoleAlert: return "alert";
    case kRoleCheckBox: return "check box";
    case kRoleDialog: return "dialog";
    case kRoleFrame: return "frame";
    case kRolePushButton: return "push button";
    case kRoleRadioButton: return "radio button";
    case kRoleText: return "text";
    case kRoleWindow: return "window";
    case kRoleApplication: return "application";
    case kRoleLink: return "link";
    default: return "label";
  }
}

unsigned Role(const Node& n) {
  if (n.control) return RoleNumber(Describe(*n.control).role);
  return n.form ? RoleNumber(RoleOf(*n.form)) : kRoleApplication;
}

std::string Name(const Node& n) {
  if (n.control) return Describe(*n.control).name;
  return n.form ? AccessName(*n.form) : (AppTitle().empty() ? "Zorvane" : AppTitle());
}

std::vector<Node> Children(const Node& n) {
  std::vector<Node> kids;
  if (n.IsRoot())
    for (Form* f : g_shown) kids.push_back({f, nullptr});
  else if (!n.control)
    for (Control* c : AccessibleChildren(*n.form)) kids.push_back({n.form, c});
  return kids;
}

Node Parent(const Node& n) { return n.control ? Node{n.form, nullptr} : Node{}; }

int IndexInParent(const Node& n) {
  if (n.IsRoot()) return -1;
  const std::vector<Node> sibs = Children(Parent(n));
  for (size_t i = 0; i < sibs.size(); ++i)
    if (sibs[i].form == n.form && sibs[i].control == n.control) return int(i);
  return -1;
}

// Two words of state bits, as GetState returns them.
std::vector<unsigned> States(const Node& n) {
  std::uint64_t bits = 0;
  auto set = [&bits](unsigned s) { bits |= std::uint64_t(1) << s; };
  if (n.form) {
    const bool showing = Showing(*n.form) && (!n.control || n.control->Visible());
    for (unsigned s : {kEnabled, kSensitive, kVisible}) set(s);
    if (showing) set(kShowing);
    if (!n.control) {
      if (g_active == n.form) set(kActive);
      if (ActiveModalForm() == n.form) set(kModal);
    } else {
      const AccessInfo info = Describe(*n.control);
      if (info.focusable) set(kFocusable);
      if (info.focused && g_active == n.form) set(kFocused);
      if (info.checkable) set(kCheckable);
      if (info.checked) set(kChecked);
      if (info.role == AccessRole::Text) set(info.multiLine ? kMultiLine : kSingleLine);
    }
  }
  return {unsigned(bits & 0xFFFFFFFFu), unsigned(bits >> 32)};
}

bool Pressable(const Node& n) { return n.control && Describe(*n.control).pressable; }
bool HasText(const Node& n) {
  if (!n.control) return false;
  const AccessRole r = Describe(*n.control).role;
  return r == AccessRole::Label || r == AccessRole::Text;
}

std::vector<const char*> Interfaces(const Node& n) {
  std::vector<const char*> list{kAccessible};
  if (n.IsRoot()) list.push_back(kApplication);
  else list.push_back(kComponent);
  if (Pressable(n)) list.push_back(kAction);
  if (HasText(n)) list.push_back(kText);
  return list;
}

// The text as a reader takes it: lines end in LF; offsets count characters, not bytes.
std::u32string TextOf(const Node& n) {
  std::u32string out = DecodeUtf8(n.control ? ShownText(*n.control) : "");
  out.erase(std::remove(out.begin(), out.end(), U'\r'), out.end());
  return out;
}

std::string Utf8(const std::u32string& s) { return EncodeUtf8(s); }

// Root-relative device pixels of a form or control (the application has none).
PixelRect Extents(const Node& n) {
  if (n.IsRoot()) return {};
  FormWindow* fw = FormWindowOf(n.form->hWnd());
  if (!fw) return {};
  ::Window w = fw->Outer();
  if (n.control)
    if (auto* cw = dynamic_cast<ChildWindow*>(n.control->Peer())) w = cw->Window();
  ::Window child;
  int x = 0, y = 0;
  XTranslateCoordinates(Server().dpy, w, Server().root, 0, 0, &x, &y, &child);
  XWindowAttributes a{};
  XGetWindowAttributes(Server().dpy, w, &a);
  return {x, y, a.width, a.height};
}

PixelRect ExtentsIn(const Node& n, unsigned coords) {
  PixelRect r = Extents(n);
  if (coords == kCoordsWindow && n.form) {
    const PixelRect top = Extents({n.form, nullptr});
    r.x -= top.x;
    r.y -= top.y;
  }
  return r;
}

void Variant(DBusWriter& w, const char* sig, const std::function<void(DBusWriter&)>& put) {
  DBusWriter v(w, kVariant, sig);
  put(v);
}

// Writes the property as a variant; false when the object has no such property.
bool PutProperty(DBusWriter& w, Entry* e, const Node& n, const std::string& iface,
                 const std::string& prop) {
  if (iface == kAccessible) {
    if (prop == "Name") {
      if (e) e->nameRead = true;
      Variant(w, "s", [&](DBusWriter& v) { v.Str(Name(n)); });
    } else if (prop == "AccessibleId") {  // for test tools; a reader does not say it
      Variant(w, "s", [&](DBusWriter& v) { v.Str(n.control ? n.control->DesignName() : ""); });
    } else if (prop == "Description" || prop == "HelpText") {
      Variant(w, "s", [](DBusWriter& v) { v.Str(""); });
    } else if (prop == "Locale") {
      Variant(w, "s", [](DBusWriter& v) { v.Str(std::setlocale(LC_MESSAGES, nullptr)); });
    } else if (prop == "ChildCount") {
      Variant(w, "i", [&](DBusWriter& v) { v.Int(int(Children(n).size())); });
    } else if (prop == "Parent") {
      Variant(w, "(so)", [&](DBusWriter& v) {
        if (n.IsRoot()) v.Ref(g_desktop, g_desktop.empty() ? kNullPath : kRootPath);
        else v.Ref(BusName(), PathOf(Parent(n)));
      });
    } else {
      return false;
    }
    return true;
  }
  if (iface == kApplication && n.IsRoot()) {
    if (prop == "ToolkitName") Variant(w, "s", [](DBusWriter& v) { v.Str("Zorvane"); });
    else if (prop == "Version" || prop == "AtspiVersion") Variant(w, "s", [](DBusWriter& v) { v.Str("2.1"); });
    else if (prop == "Id") Variant(w, "i", [](DBusWriter& v) { v.Int(0); });
    else return false;
    return true;
  }
  if (iface == kAction && Pressable(n) && prop == "NActions") {
    Variant(w, "i", [](DBusWriter& v) { v.Int(1); });
    return true;
  }
  if (iface == kText && HasText(n) && (prop == "CharacterCount" || prop == "CaretOffset")) {
    const int count = int(TextOf(n).size());
    Variant(w, "i", [&](DBusWriter& v) { v.Int(prop == "CaretOffset" ? 0 : count); });
    return true;
  }
  return false;
}

const char* const kPropertyNames[][2] = {
    {kAccessible, "Name"},          {kAccessible, "Description"}, {kAccessible, "Parent"},
    {kAccessible, "ChildCount"},    {kAccessible, "Locale"},      {kAccessible, "AccessibleId"},
    {kApplication, "ToolkitName"},  {kApplication, "Version"},    {kApplication, "AtspiVersion"},
    {kApplication, "Id"},           {kAction, "NActions"},        {kText, "CharacterCount"},
    {kText, "CaretOffset"}};

// Answers a call, unless it asked for no reply.
void Reply(const DBusMessage& call, DBusMessage reply) {
  if (!(call.flags & 1)) Send(std::move(reply));
}

void ReplyError(const DBusMessage& call, const char* name, const char* text) {
  Reply(call, ErrorFor(call, name, text));
}

// The string at `offset` at the granularity asked for (0: a character, otherwise its line), with
// where it starts and ends.
void PutStringAt(DBusWriter& w, const std::u32string& text, int offset, unsigned granularity) {
  const int size = int(text.size());
  offset = std::clamp(offset, 0, size);
  int start = offset, end = std::min(size, offset + 1);
  if (granularity != 0) {
    start = offset;
    while (start > 0 && text[size_t(start - 1)] != U'\n') --start;
    end = offset;
    while (end < size && text[size_t(end)] != U'\n') ++end;
    if (end < size) ++end;
  }
  w.Str(Utf8(text.substr(size_t(start), size_t(end - start)))).Int(start).Int(end);
}

// The methods of each interface an object has, one handler each. False: no such method here.
using Handler = bool (*)(const DBusArgs& args, DBusWriter& w, Entry* e, const Node& n,
                         const std::string& member);

bool PropertiesCall(const DBusArgs& args, DBusWriter& w, Entry* e, const Node& n,
                    const std::string& member) {
  if (member == "Get") return PutProperty(w, e, n, args.Str(0), args.Str(1));
  if (member == "Set") return true;  // the registry numbers the application: nothing to keep
  if (member != "GetAll") return false;
  DBusWriter dict(w, kArray, "{sv}");
  for (const auto& p : kPropertyNames) {
    if (args.Str(0) != p[0]) continue;
    DBusWriter entry(dict, kDictEntry, nullptr);
    entry.Str(p[1]);
    if (!PutProperty(entry, e, n, p[0], p[1])) Variant(entry, "s", [](DBusWriter& v) { v.Str(""); });
  }
  return true;
}

bool AccessibleCall(const DBusArgs& args, DBusWriter& w, Entry*, const Node& n,
                    const std::string& member) {
  if (member == "GetRole") w.Uint(Role(n));
  else if (member == "GetRoleName" || member == "GetLocalizedRoleName") w.Str(RoleName(Role(n)));
  else if (member == "GetState") {
    DBusWriter a(w, kArray, "u");
    for (unsigned word : States(n)) a.Uint(word);
  } else if (member == "GetChildAtIndex") {
    const std::vector<Node> kids = Children(n);
    const long long i = args.Num(0);
    if (i >= 0 && i < (long long)kids.size()) w.Ref(BusName(), PathOf(kids[size_t(i)]));
    else w.Ref(BusName(), kNullPath);
  } else if (member == "GetChildren") {
    DBusWriter a(w, kArray, "(so)");
    for (const Node& k : Children(n)) a.Ref(BusName(), PathOf(k));
  } else if (member == "GetIndexInParent") w.Int(IndexInParent(n));
  else if (member == "GetApplication") w.Ref(BusName(), kRootPath);
  else if (member == "GetInterfaces") {
    DBusWriter a(w, kArray, "s");
    for (const char* i : Interfaces(n)) a.Str(i);
  } else if (member == "GetAttributes") {
    DBusWriter a(w, kArray, "{ss}");
  } else if (member == "GetRelationSet") {
    DBusWriter set(w, kArray, "(ua(so))");
    if (n.control && Role(n) == kRoleRadioButton) {
      DBusWriter rel(set, kStruct, nullptr);
      rel.Uint(kRelationMemberOf);
      DBusWriter group(rel, kArray, "(so)");
      for (const Node& k : Children(Parent(n)))
        if (Role(k) == kRoleRadioButton) group.Ref(BusName(), PathOf(k));
    }
  } else return false;
  return true;
}

bool ApplicationCall(const DBusArgs&, DBusWriter& w, Entry*, const Node&, const std::string& member) {
  if (member != "GetLocale") return false;
  w.Str(std::setlocale(LC_MESSAGES, nullptr));
  return true;
}

bool ComponentCall(const DBusArgs& args, DBusWriter& w, Entry*, const Node& n,
                   const std::string& member) {
  const PixelRect r = ExtentsIn(n, unsigned(args.Num(member == "Contains" ? 2 : 0)));
  if (member == "GetExtents") {
    DBusWriter s(w, kStruct, nullptr);
    s.Int(r.x).Int(r.y).Int(r.w).Int(r.h);
  } else if (member == "GetPosition") w.Int(r.x).Int(r.y);
  else if (member == "GetSize") w.Int(r.w).Int(r.h);
  else if (member == "Contains") {
    const long long x = args.Num(0), y = args.Num(1);
    w.Boolean(x >= r.x && y >= r.y && x < r.x + r.w && y < r.y + r.h);
  } else if (member == "GetLayer") w.Uint(n.control ? kLayerWidget : kLayerWindow);
  else if (member == "GrabFocus") {
    const bool can = n.control && n.control->TakesFocus() && n.control->Visible();
    if (can) n.form->FocusControl(n.control);
    w.Boolean(can);
  } else return false;
  return true;
}

bool ActionCall(const DBusArgs& args, DBusWriter& w, Entry*, const Node& n, const std::string& member) {
  if (member == "GetName" || member == "GetLocalizedName") w.Str(args.Num(0) == 0 ? "click" : "");
  else if (member == "GetDescription" || member == "GetKeyBinding") w.Str("");
  else if (member == "GetActions") {
    DBusWriter a(w, kArray, "(sss)");
    DBusWriter s(a, kStruct, nullptr);
    s.Str("click").Str("").Str("");
  } else if (member == "DoAction") {
    const bool ok = args.Num(0) == 0 && AccessCanPress(*n.control);
    if (ok) QueuePress(IdOf(n));
    w.Boolean(ok);
  } else return false;
  return true;
}

bool TextCall(const DBusArgs& args, DBusWriter& w, Entry*, const Node& n, const std::string& member) {
  const std::u32string text = TextOf(n);
  const int size = int(text.size());
  if (member == "GetText") {
    const int start = std::clamp(int(args.Num(0)), 0, size);
    int end = int(args.Num(1));
    if (end < 0 || end > size) end = size;
    w.Str(Utf8(text.substr(size_t(start), size_t(std::max(0, end - start)))));
  } else if (member == "GetCharacterAtOffset") {
    const long long i = args.Num(0);
    w.Int(i >= 0 && i < size ? int(text[size_t(i)]) : 0);
  } else if (member == "GetStringAtOffset") {
    PutStringAt(w, text, int(args.Num(0)), unsigned(args.Num(1)));
  } else if (member == "GetNSelections") w.Int(0);
  else return false;
  return true;
}

bool Answer(const DBusMessage& call, DBusWriter& w, Entry* e, const Node& n, const std::string& iface,
            const std::string& member) {
  struct Interface {
    const char* name;
    bool (*has)(const Node& n);
    Handler handler;
  };
  static const Interface interfaces[] = {
      {kProperties, [](const Node&) { return true; }, PropertiesCall},
      {kAccessible, [](const Node&) { return true; }, AccessibleCall},
      {kApplication, [](const Node& n) { return n.IsRoot(); }, ApplicationCall},
      {kComponent, [](const Node& n) { return !n.IsRoot(); }, ComponentCall},
      {kAction, [](const Node& n) { return Pressable(n); }, ActionCall},
      {kText, [](const Node& n) { return HasText(n); }, TextCall},
  };
  const DBusArgs args(call);
  for (const Interface& i : interfaces)
    if (iface == i.name && i.has(n)) return i.handler(args, w, e, n, member);
  return false;
}

// A signal from the object in the form every AT-SPI event takes: (detail, two numbers, a value,
// no properties).
void Emit(const Node& n, const char* iface, const char* member, const std::string& detail, int d1,
          const char* sig, const std::function<void(DBusWriter&)>& value, const std::string& key = "") {
  DBusMessage m = Signal(PathOf(n), iface, member);
  {
    DBusWriter w(m);
    w.Str(detail).Int(d1).Int(0);
    Variant(w, sig, value);
    DBusWriter props(w, kArray, "{sv}");
  }
  Send(std::move(m), key);
}

void EmitState(const Node& n, const char* state, bool on) {
  Emit(n, kEventObject, "StateChanged", state, on ? 1 : 0, "i", [](DBusWriter& v) { v.Int(0); });
}

void EmitWindow(Form& f, const char* member) {
  const std::string name = AccessName(f);
  Emit({&f, nullptr}, "org.a11y.atspi.Event.Window", member, "", 0, "s",
       [&](DBusWriter& v) { v.Str(name); });
}

void EmitChildren(Form& f, const char* change, int index) {
  const Node child{&f, nullptr};
  Emit(Node{}, kEventObject, "ChildrenChanged", change, index, "(so)",
       [&](DBusWriter& v) { v.Ref(BusName(), PathOf(child)); });
}

}  // namespace

void SetDesktop(const std::string& busName) { g_desktop = busName; }

void ReadersGone() {
  for (auto& [id, entry] : g_entries) entry.nameRead = false;
}

Control* ControlOf(unsigned id) {
  auto it = g_entries.find(id);
  return it == g_entries.end() ? nullptr : it->second.node.control;
}

bool HandleCall(const DBusMessage& call) {
  const std::string& path = call.path;
  if (path == "/org/a11y/atspi/cache") {
    if (call.member != "GetItems") {
      ReplyError(call, kErrorUnknownMethod, call.member.c_str());
      return true;
    }
    DBusMessage reply = ReturnFor(call);
    {
      DBusWriter w(reply);
      DBusWriter items(w, kArray, "((so)(so)(so)iiassusau)");
    }
    Reply(call, std::move(reply));
    return true;
  }
  Entry* e = nullptr;
  Node n;
  if (path != kRootPath) {
    if (!(e = EntryAt(path.c_str()))) {
      if (path.rfind(kPathPrefix, 0) != 0) return false;
      ReplyError(call, kErrorUnknownObject, "that object is gone");
      return true;
    }
    n = e->node;
  }
  DBusMessage reply = ReturnFor(call);
  bool known;
  {
    DBusWriter w(reply);
    known = Answer(call, w, e, n, call.interface, call.member);
  }
  if (known) Reply(call, std::move(reply));
  else ReplyError(call, kErrorUnknownMethod, call.member.c_str());
  return true;
}

// The forms shown and the active one are followed without a bus too: one may come later.
void FormShown(Form& f) {
  if (std::find(g_shown.begin(), g_shown.end(), &f) != g_shown.end()) return;
  g_shown.push_back(&f);
  if (!Bus()) return;
  EmitChildren(f, "add", int(g_shown.size()) - 1);
  EmitWindow(f, "Create");
}

void FormHidden(Form& f) {
  auto it = std::find(g_shown.begin(), g_shown.end(), &f);
  if (it == g_shown.end()) return;
  const int index = int(it - g_shown.begin());
  if (g_active == &f) FormActive(f, false);
  if (Bus()) {
    EmitWindow(f, "Destroy");
    EmitChildren(f, "remove", index);
  }
  g_shown.erase(it);
}

void FormGone(Form& f) {
  FormHidden(f);
  // Its objects go: a client that still holds one hears that it is gone.
  for (Control* c : f.Controls()) {
    if (auto it = g_ids.find(c); it != g_ids.end()) {
      g_entries.erase(it->second);
      g_ids.erase(it);
    }
  }
  if (auto it = g_ids.find(&f); it != g_ids.end()) {
    g_entries.erase(it->second);
    g_ids.erase(it);
  }
}

void FormActive(Form& f, bool active) {
  if ((g_active == &f) == active) return;
  if (active && g_active) FormActive(*g_active, false);
  g_active = active ? &f : nullptr;
  if (!Bus()) return;
  EmitWindow(f, active ? "Activate" : "Deactivate");
  EmitState({&f, nullptr}, "active", active);
  if (Control* c = f.FocusedControl(); active && c) FocusChanged(*c, true);
}

void FocusChanged(Control& c, bool focused) {
  if (!Bus() || Describe(c).role == AccessRole::Unseen) return;
  const Node n{&c.Owner(), &c};
  EmitState(n, "focused", focused && g_active == n.form);
  if (focused && g_active == n.form)
    Emit(n, "org.a11y.atspi.Event.Focus", "Focus", "", 0, "i", [](DBusWriter& v) { v.Int(0); });
}

void CheckChanged(Control& c) {
  if (!Bus()) return;
  EmitState({&c.Owner(), &c}, "checked", Describe(c).checked);
}

void TextChanged(Control& c) {
  if (!Bus()) return;
  auto it = g_ids.find(&c);
  if (it == g_ids.end() || !g_entries[it->second].nameRead) return;
  const std::string name = Describe(c).name;
  // While the bus does not read, only the newest name of each cell waits to go out.
  Emit({&c.Owner(), &c}, kEventObject, "PropertyChange", "accessible-name", 0, "s",
       [&](DBusWriter& v) { v.Str(name); }, "name " + std::to_string(it->second));
}

}  // namespace plat::x11::atspi
