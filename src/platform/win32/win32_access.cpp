// Windows' accessibility layer (MSAA, and UI Automation over it) reads a STATIC, BUTTON or EDIT
// window by itself: its text as the name, its class and style as the role, a button's check as
// its state. What it cannot know is set here with IAccPropServices (oleacc's Dynamic Annotation),
// which overrides the name or role without changing what the window shows.
#include "platform/win32/win32_access.h"

#include <initguid.h>  // the CLSID and property GUIDs below, defined here rather than linked
#include <oleacc.h>

#include <string>

#include "platform/common/access.h"
#include "platform/win32/win32_text.h"

namespace plat::win32 {
namespace {

// The annotation service, made on first use; null where COM or oleacc is missing.
IAccPropServices* Services() {
  static IAccPropServices* services = [] {
    IAccPropServices* s = nullptr;
    // The window thread's own apartment; S_FALSE when it was already there.
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return s;
    if (FAILED(CoCreateInstance(CLSID_AccPropServices, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IAccPropServices, reinterpret_cast<void**>(&s))))
      s = nullptr;
    return s;
  }();
  return services;
}

long MsaaRole(AccessRole role) {
  switch (role) {
    case AccessRole::Link: return ROLE_SYSTEM_LINK;
    case AccessRole::PushButton: return ROLE_SYSTEM_PUSHBUTTON;
    case AccessRole::CheckBox: return ROLE_SYSTEM_CHECKBUTTON;
    case AccessRole::RadioButton: return ROLE_SYSTEM_RADIOBUTTON;
    case AccessRole::Text: return ROLE_SYSTEM_TEXT;
    default: return ROLE_SYSTEM_STATICTEXT;
  }
}

}  // namespace

bool AnnotateForReaders(HWND hwnd, const Control& c) {
  const bool named = !c.AccessibleName.empty();
  const bool roled = c.Role != AccessRole::Auto && c.Role != AccessRole::Unseen;
  if (!named && !roled) return false;
  IAccPropServices* s = Services();
  if (!s) return false;
  const AccessInfo info = Describe(c);
  bool done = true;
  // A role of its own comes with a name: an edit window's name is otherwise its label's.
  const std::wstring name = Wide(info.name);
  done &= SUCCEEDED(s->SetHwndPropStr(hwnd, DWORD(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_NAME,
                                      const_cast<wchar_t*>(name.c_str())));
  if (roled) {
    VARIANT role;
    VariantInit(&role);
    role.vt = VT_I4;
    role.lVal = MsaaRole(c.Role);
    done &= SUCCEEDED(s->SetHwndProp(hwnd, DWORD(OBJID_CLIENT), CHILDID_SELF, PROPID_ACC_ROLE, role));
  }
  return done;
}

void ClearReaderAnnotation(HWND hwnd) {
  if (IAccPropServices* s = Services()) {
    MSAAPROPID props[] = {PROPID_ACC_NAME, PROPID_ACC_ROLE};
    s->ClearHwndProps(hwnd, DWORD(OBJID_CLIENT), CHILDID_SELF, props, 2);
  }
}

}  // namespace plat::win32
