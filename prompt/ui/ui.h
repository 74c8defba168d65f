// The prompt's small class library, in the manner of the Windows class libraries:
//
// - CWinAppBase: the one application object of the process. The entry code calls its
//   InitInstance; FALSE ends the program, TRUE runs a thread message loop until WM_QUIT.
// - CWndBase: a C++ object bound to one window. SubclassWindow/SubclassDlgItem bind an existing
//   control: the object learns the HWND, PreSubclassWindow runs, and only then is the control's
//   window procedure replaced, so that its messages are routed through the class (what no entry
//   handles goes on to the control's original procedure).
// - Message tables: every class has a static MessageMap, an array of {message, [id, code],
//   handler} linked to its base class's map. OnWndMsg walks the derived table before the base's
//   and calls the first matching handler; the walk needs no window, so tables are testable alone.
// - CDialogBase: a dialog made from a template resource. DoModal runs the program's own modal
//   loop: every queued message goes first to PreTranslateMessage of the object bound to its
//   window (if any), then, for the dialog and its children, to the dialog's PreTranslateMessage,
//   and only when neither consumed it to IsDialogMessage and TranslateMessage/DispatchMessage.
//   EndDialog ends the loop; the window is destroyed before DoModal returns.
#pragma once

#include "ui/app_base.h"
#include "ui/dialog_base.h"
#include "ui/message_map.h"
#include "ui/wnd_base.h"
