// CGlanceUIAppApp, the application object of GlanceUIApp: one prompt per logon session.
#pragma once

#include <windows.h>

#include <cstddef>

#include "ui/ui.h"

class CGlanceUIAppApp : public CWinAppBase {
public:
    // Shows the prompt unless another one runs in this logon session, which is then brought to
    // the foreground instead. Always FALSE: the program ends when this returns.
    BOOL InitInstance() override;
};

// The file name of `modulePath` without its folder and without its last extension, into
// `name` (of `nameChars`). FALSE when that is empty or does not fit.
BOOL ProgramNameFromPath(const wchar_t* modulePath, wchar_t* name, std::size_t nameChars);
