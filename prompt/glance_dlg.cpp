#include "glance_dlg.h"

#include <shlwapi.h>

#include "feedback_choice.h"
#include "function_sources.h"
#include "resources/resource.h"

// Escape and the close button take the base's IDCANCEL entry and record nothing.
constinit const MessageEntry CGlanceUIAppDlg::messageEntries[] = {
    CommandEntry<CGlanceUIAppDlg, &CGlanceUIAppDlg::OnOk>(IDOK, BN_CLICKED),
    CommandEntry<CGlanceUIAppDlg, &CGlanceUIAppDlg::OnNoThanks>(IDNO, BN_CLICKED),
};
constinit const MessageMapOf<CGlanceUIAppDlg> CGlanceUIAppDlg::messageMap =
    MakeMessageMap<CGlanceUIAppDlg>(messageEntries);

namespace {
// The mouse-button presses and releases that close the help link's tracking tip when they happen
// outside the link. Moves and double-clicks never do.
bool ClosesTrackingTip(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONUP:
        return true;
    default:
        return false;
    }
}
}  // namespace

CGlanceUIAppDlg::CGlanceUIAppDlg(HWND owner)
    : CWindowClass(IDD_GLANCEUIAPP_DIALOG, owner), m_sourcesFound(FALSE), m_functionCount(0)
{
    for (PromptFunction& slot : m_functions) slot = PromptFunction::None;
    m_backgroundBrush.Reset(CreateSolidBrush(GetSysColor(COLOR_WINDOW)));

    const HMODULE module = GetModuleHandleW(nullptr);
    const LANGID language = GetUserDefaultUILanguage();
    if (!LoadPromptText(module, language, kMessageTextKey, m_messageText, kPromptTextChars))
        StrCpyNW(m_messageText, kDefaultMessageText, kPromptTextChars);
    if (!LoadPromptText(module, language, kHoverTextKey, m_hoverText, kPromptTextChars))
        StrCpyNW(m_hoverText, kDefaultHoverText, kPromptTextChars);

    m_sourcesFound = DiscoverFunctions();
}

BOOL CGlanceUIAppDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();
    SetWindowTextW(m_helpLink.GetSafeHwnd(), L"What's this?");
    m_helpLink.SetTipText(m_hoverText);
    return TRUE;
}

void CGlanceUIAppDlg::BindControls()
{
    // Before any text is set, so that the hover tooltip exists from the start.
    m_helpLink.SubclassDlgItem(IDC_HELP_LINK, *this);
}

BOOL CGlanceUIAppDlg::PreTranslateMessage(MSG* message)
{
    RECT link{};
    GetWindowRect(m_helpLink.GetSafeHwnd(), &link);
    if (ClosesTrackingTip(message->message) && !PtInRect(&link, message->pt)) m_helpLink.HideTrackingTip();
    return CDialogBase::PreTranslateMessage(message);
}

BOOL CGlanceUIAppDlg::DiscoverFunctions()
{
    BOOL found = FALSE;
    std::int32_t count = 0;
    // Seven sources add at most one function each, so the seven slots cannot overflow.
    const auto append = [&](PromptFunction function) {
        if (count < kPromptFunctionSlots) m_functions[count++] = function;
    };

    // Each read starts from a cleared buffer, so that a value shorter than 4 bytes is not mixed
    // with the bytes of the value read before it.
    DWORD value = 0;
    if (QueryMachineValue(kFunctionListKey, L"Type2", &value)) {
        if (value & kType2FnLock) append(PromptFunction::FnLock);
        if (value & kType2Touchpad) append(PromptFunction::Touchpad);
        if (value & kType2NumLock) append(PromptFunction::NumLock);
        found = TRUE;
    }
    value = 0;
    // "CapsLock" alone never counts as a readable source.
    if (QueryMachineValue(kFunctionListKey, L"CapsLock", &value) && value == 1) append(PromptFunction::CapsLock);
    value = 0;
    if (QueryMachineValue(kFunctionListKey, L"RVL", &value)) {
        if (value == 1) append(PromptFunction::RVL);
        found = TRUE;
    }
    DWORD cameraValue = 0;
    if (QueryMachineValue(kCameraMuteParametersKey, L"MachineType", &cameraValue)) {
        if (cameraValue == 1) append(PromptFunction::Camera);
        found = TRUE;
    }
    DWORD microphoneValue = 0;
    if (QueryMachineValue(kMicMuteParametersKey, L"Capability", &microphoneValue)) {
        if (microphoneValue == 1) append(PromptFunction::Microphone);
        found = TRUE;
    }

    m_functionCount = count;
    return found;
}

void CGlanceUIAppDlg::OnOk()
{
    SaveFeedbackChoice(TRUE);
    OnOK();
}

void CGlanceUIAppDlg::OnNoThanks()
{
    SaveFeedbackChoice(FALSE);
    EndDialog(IDCANCEL);
}
