// The prompt's small class library, in the manner of the Windows class libraries:
//
// - CWinAppBase: the one application object of the process. The entry code calls its
//   InitInstance; FALSE ends the program, TRUE runs a thread message loop until WM_QUIT.
// - CWndBase: a C++ object bound to one window. SubclassWindow/SubclassDlgItem bind an existing
//   control: the object learns the HWND, PreSubclassWindow runs, and only then does a subclass of
//   the common controls' (SetWindowSubclass) route the control's messages through the class. What
//   no entry handles goes on to the procedures below (the control's own one at the end);
//   UnsubclassWindow removes this subclass alone, so a subclass installed later keeps working.
// - Message tables: every class derives through CWindowClass<Class, Base> and declares a static
//   MessageMapOf<Class> (a class that forgets it does not compile), an array of entries linked to
//   its base class's table. OnWndMsg walks the derived table before the base's and calls the
//   first matching handler; the walk needs no window, so tables are testable alone. Entries:
//   CommandEntry (WM_COMMAND by id and code), MessageEntryOf (any message, raw), MessageRangeEntry,
//   and typed ones: CtlColorEntry (all seven WM_CTLCOLOR* messages), EraseBkgndEntry,
//   SetFocusEntry, KillFocusEntry, DestroyEntry, GetDlgCodeEntry (see ui/message_map.h).
// - Not handled: a handler that calls SetMsgHandled(FALSE) leaves the message to the default
//   handling after it returns; Default() runs that handling at once. The default of a bound
//   control is its original procedure (through the subclasses below this one), that of a dialog
//   the dialog manager's (the dialog procedure returns FALSE), never DefWindowProcW.
// - CDialogBase: a dialog made from a template resource. DoModal runs the dialog manager's modal
//   loop (DialogBoxParamW), so EndDialog and ::EndDialog are the same call. A message hook of the
//   thread (WH_MSGFILTER) hands every queued message of the dialog, of its children and of the
//   windows it owns (tooltips) first to PreTranslateMessage of the control bound to its window (if
//   any), then to the dialog's PreTranslateMessage, and only when neither consumed it does the
//   dialog manager handle it (IsDialogMessage, TranslateMessage, DispatchMessage). The window is
//   destroyed before DoModal returns.
#pragma once

#include "ui/app_base.h"
#include "ui/dialog_base.h"
#include "ui/message_map.h"
#include "ui/window_class.h"
#include "ui/wnd_base.h"
