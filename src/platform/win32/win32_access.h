// Names and roles for screen readers where a control's window does not say them itself.
#pragma once
#include <windows.h>

#include "platform/forms.h"

namespace plat::win32 {

// Gives the window the control's accessible name and role through Dynamic Annotation, where they
// differ from what its class and text say (an option button without text, a label that is a
// link, a text box that is a button). True when it annotated the window.
bool AnnotateForReaders(HWND hwnd, const Control& control);
// Drops the annotation again, before the window goes.
void ClearReaderAnnotation(HWND hwnd);

}  // namespace plat::win32
