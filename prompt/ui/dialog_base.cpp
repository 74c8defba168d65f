#include "ui/dialog_base.h"

#include <iterator>

namespace {
// Messages whose result a dialog procedure returns itself instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    return (message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC) || message == WM_COMPAREITEM ||
           message == WM_VKEYTOITEM || message == WM_CHARTOITEM || message == WM_QUERYDRAGICON;
}
}  // namespace

constinit const MessageEntry CDialogBase::messageEntries[] = {
    CommandEntry<CDialogBase, &CDialogBase::OnOK>(IDOK, BN_CLICKED),
    CommandEntry<CDialogBase, &CDialogBase::OnCancel>(IDCANCEL, BN_CLICKED),
};
constinit const MessageMap CDialogBase::messageMap = {&CWndBase::messageMap, messageEntries, std::size(messageEntries)};

CDialogBase::CDialogBase(UINT templateId, HWND owner) : m_templateId(templateId), m_owner(owner) {}

CDialogBase::~CDialogBase()
{
    if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
}

const MessageMap* CDialogBase::GetMessageMap() const
{
    return &messageMap;
}

BOOL CDialogBase::OnInitDialog()
{
    return TRUE;
}

void CDialogBase::OnOK()
{
    EndDialog(IDOK);
}

void CDialogBase::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialogBase::EndDialog(INT_PTR result)
{
    m_modalResult = result;
    m_continueModal = FALSE;
    // Wakes the loop when EndDialog runs outside of its dispatch (a message sent from elsewhere).
    if (m_hWnd != nullptr) PostMessageW(m_hWnd, WM_NULL, 0, 0);
}

INT_PTR CDialogBase::DoModal()
{
    m_modalResult = -1;
    m_continueModal = TRUE;
    const bool disableOwner = m_owner != nullptr && IsWindowEnabled(m_owner);
    if (disableOwner) EnableWindow(m_owner, FALSE);

    const HWND window = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), m_owner,
                                           &DialogProc, reinterpret_cast<LPARAM>(this));
    if (window != nullptr) {
        if (m_continueModal && !IsWindowVisible(window)) ShowWindow(window, SW_SHOWNORMAL);
        RunModalLoop();
    }
    m_continueModal = FALSE;

    // The owner is enabled again before the dialog goes, so that activation can return to it.
    if (disableOwner) EnableWindow(m_owner, TRUE);
    if (m_owner != nullptr && m_hWnd != nullptr && GetActiveWindow() == m_hWnd) SetActiveWindow(m_owner);
    if (m_hWnd != nullptr) DestroyWindow(m_hWnd);
    return window != nullptr ? m_modalResult : -1;
}

void CDialogBase::RunModalLoop()
{
    MSG message;
    while (m_continueModal && m_hWnd != nullptr) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0) {
            // WM_QUIT belongs to an outer loop: end this one and leave the quit for it.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        if (got == -1) return;
        if (PreTranslateQueued(&message)) continue;
        if (IsDialogMessageW(m_hWnd, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

BOOL CDialogBase::PreTranslateQueued(MSG* message)
{
    if (message->hwnd != m_hWnd) {
        CWndBase* target = FromHandlePermanent(message->hwnd);
        if (target != nullptr && target->PreTranslateMessage(message)) return TRUE;
    }
    if (message->hwnd == m_hWnd || IsChild(m_hWnd, message->hwnd)) return PreTranslateMessage(message);
    return FALSE;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CDialogBase*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
        return self->OnInitDialog();
    }
    auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self == nullptr) return FALSE;  // messages before WM_INITDIALOG get the default handling
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, DWLP_USER, 0);
        self->m_hWnd = nullptr;
        return FALSE;
    }
    LRESULT result = 0;
    if (!self->OnWndMsg(message, wParam, lParam, &result)) return FALSE;
    if (ReturnsResultDirectly(message)) return static_cast<INT_PTR>(result);
    SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
    return TRUE;
}
