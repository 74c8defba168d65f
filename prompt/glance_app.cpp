#include "glance_app.h"

#include <commctrl.h>

#include <cwchar>

#include "glance_dlg.h"
#include "resources/resource.h"
#include "unique_handle.h"

namespace {
// Brings the prompt of an earlier start to the foreground, found by its caption alone.
void ActivateRunningPrompt()
{
    wchar_t caption[MAX_PATH] = {};
    if (LoadStringW(GetModuleHandleW(nullptr), IDS_GLANCEUIAPP_CAPTION, caption, MAX_PATH) == 0) return;
    const HWND running = FindWindowW(nullptr, caption);
    if (running != nullptr) SetForegroundWindow(running);
}
}  // namespace

BOOL ProgramNameFromPath(const wchar_t* modulePath, wchar_t* name, std::size_t nameChars)
{
    const wchar_t* fileName = modulePath;
    for (const wchar_t* p = modulePath; *p != L'\0'; ++p) {
        if (*p == L'\\' || *p == L'/' || *p == L':') fileName = p + 1;
    }
    const wchar_t* extension = wcsrchr(fileName, L'.');
    const std::size_t length = extension != nullptr ? static_cast<std::size_t>(extension - fileName) : wcslen(fileName);
    if (length == 0 || length >= nameChars) return FALSE;
    wmemcpy(name, fileName, length);
    name[length] = L'\0';
    return TRUE;
}

BOOL CGlanceUIAppApp::InitInstance()
{
    // The mutex is named after the program file, without a Global\ or Local\ prefix: one prompt
    // per logon session. Without a name (the path could not be had) the prompt is shown anyway.
    wchar_t modulePath[MAX_PATH] = {};
    wchar_t mutexName[MAX_PATH] = {};
    const DWORD pathLength = GetModuleFileNameW(nullptr, modulePath, MAX_PATH);
    const BOOL named = pathLength != 0 && pathLength < MAX_PATH && ProgramNameFromPath(modulePath, mutexName, MAX_PATH);

    SetLastError(ERROR_SUCCESS);  // only ERROR_ALREADY_EXISTS is documented for a successful create
    const HANDLE created = CreateMutexW(nullptr, TRUE, named ? mutexName : nullptr);
    const DWORD createError = GetLastError();
    UniqueKernelHandle instanceMutex(created);
    if (createError == ERROR_ALREADY_EXISTS) {
        ActivateRunningPrompt();
        return FALSE;
    }

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    // The prompt hosts no ActiveX controls, so no container support is switched on.

    CGlanceUIAppDlg dialog(nullptr);
    dialog.DoModal();  // the decision is already recorded by the button handlers
    // The next start may show its prompt once this one has closed; the dialog object (its brush)
    // goes only after that, on return.
    instanceMutex.Reset();
    return FALSE;
}
