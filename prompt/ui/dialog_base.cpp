#include "ui/dialog_base.h"

namespace {
// One running DoModal. The frames of this thread form a list, innermost first; the message hook
// serves the innermost dialog.
struct ModalFrame {
    CDialogBase* dialog;  // null once the object has been destroyed inside its loop
    ModalFrame* outer;
    bool quitRetrieved;   // the loop took WM_QUIT from the queue, which ends it
};
thread_local ModalFrame* t_innermostModal = nullptr;
thread_local HHOOK t_messageFilter = nullptr;
thread_local HHOOK t_retrievedMessages = nullptr;

// WH_GETMESSAGE: the dialog manager ends its loop when it takes WM_QUIT from the queue (and posts
// it again), with a result of its own choosing (IDOK under wine); DoModal reports -1 instead.
LRESULT CALLBACK NoteQuit(int code, WPARAM removal, LPARAM lParam)
{
    if (code == HC_ACTION && removal == PM_REMOVE && reinterpret_cast<const MSG*>(lParam)->message == WM_QUIT &&
        t_innermostModal != nullptr) {
        t_innermostModal->quitRetrieved = true;
    }
    return CallNextHookEx(nullptr, code, removal, lParam);
}

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
constinit const MessageMapOf<CDialogBase> CDialogBase::messageMap = MakeMessageMap<CDialogBase>(messageEntries);

CDialogBase::CDialogBase(UINT templateId, HWND owner) : m_templateId(templateId), m_owner(owner) {}

CDialogBase::~CDialogBase()
{
    for (ModalFrame* frame = t_innermostModal; frame != nullptr; frame = frame->outer) {
        if (frame->dialog == this) frame->dialog = nullptr;
    }
    if (m_hWnd == nullptr) return;
    // Destroyed inside its own modal loop. The derived parts are gone: detached first, the window
    // reaches no handler any more; the dialog manager's loop ends and destroys it.
    const HWND window = m_hWnd;
    SetWindowLongPtrW(window, DWLP_USER, 0);
    m_hWnd = nullptr;
    ::EndDialog(window, -1);
}

BOOL CDialogBase::OnInitDialog()
{
    BindControls();
    return TRUE;
}

void CDialogBase::BindControls() {}

void CDialogBase::OnOK()
{
    EndDialog(IDOK);
}

void CDialogBase::OnCancel()
{
    EndDialog(IDCANCEL);
}

BOOL CDialogBase::EndDialog(INT_PTR result)
{
    if (m_hWnd == nullptr) return FALSE;
    return ::EndDialog(m_hWnd, result);
}

BOOL CDialogBase::PreTranslateMessage(MSG*)
{
    return FALSE;
}

INT_PTR CDialogBase::DoModal()
{
    // The frame and the hook belong to this call, not to the object: the object may be destroyed
    // inside its own loop, so nothing here touches it once the dialog manager has returned.
    ModalFrame frame{this, t_innermostModal, false};
    t_innermostModal = &frame;
    // One pair of hooks per thread, however deeply DoModal nests. Without the filter the dialog
    // still runs, but no PreTranslateMessage sees its messages.
    const bool installsHooks = t_messageFilter == nullptr;
    if (installsHooks) {
        t_messageFilter = SetWindowsHookExW(WH_MSGFILTER, &MessageFilterHook, nullptr, GetCurrentThreadId());
        t_retrievedMessages = SetWindowsHookExW(WH_GETMESSAGE, &NoteQuit, nullptr, GetCurrentThreadId());
    }
    const HWND owner = m_owner;
    const bool ownerWasEnabled = owner != nullptr && IsWindowEnabled(owner);

    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_templateId), owner,
                                           &DialogProc, reinterpret_cast<LPARAM>(this));

    // The dialog manager enables the owner again in EndDialog only, not when WM_QUIT ends the loop.
    if (ownerWasEnabled && !IsWindowEnabled(owner)) EnableWindow(owner, TRUE);
    if (installsHooks) {
        if (t_messageFilter != nullptr) UnhookWindowsHookEx(t_messageFilter);
        if (t_retrievedMessages != nullptr) UnhookWindowsHookEx(t_retrievedMessages);
        t_messageFilter = nullptr;
        t_retrievedMessages = nullptr;
    }
    t_innermostModal = frame.outer;
    return frame.quitRetrieved ? -1 : result;
}

LRESULT CALLBACK CDialogBase::MessageFilterHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == MSGF_DIALOGBOX && t_innermostModal != nullptr && t_innermostModal->dialog != nullptr &&
        t_innermostModal->dialog->PreTranslateQueued(reinterpret_cast<MSG*>(lParam))) {
        return TRUE;  // consumed: the dialog manager neither handles nor dispatches it
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL CDialogBase::PreTranslateQueued(MSG* message)
{
    if (m_hWnd == nullptr || !IsDialogWindow(message->hwnd)) return FALSE;
    if (message->hwnd != m_hWnd) {
        CWndBase* target = FromHandlePermanent(message->hwnd);
        if (target != nullptr && target->PreTranslateMessage(message)) return TRUE;
    }
    return PreTranslateMessage(message);
}

BOOL CDialogBase::IsDialogWindow(HWND window) const
{
    if (window == nullptr) return FALSE;
    // Owners are always top-level windows: from the window's top-level ancestor along its owners.
    for (HWND top = GetAncestor(window, GA_ROOT); top != nullptr; top = GetWindow(top, GW_OWNER)) {
        if (top == m_hWnd) return TRUE;
    }
    return FALSE;
}

LRESULT CDialogBase::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_hWnd == nullptr) return 0;
    // DefDlgProcW first offers the message to the dialog procedure again; told to decline, the
    // procedure leaves it to the dialog manager's own handling.
    m_declineNext = TRUE;
    const LRESULT result = DefDlgProcW(m_hWnd, message, wParam, lParam);
    m_declineNext = FALSE;
    return result;
}

INT_PTR CALLBACK CDialogBase::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<CDialogBase*>(GetWindowLongPtrW(window, DWLP_USER));
    if (self != nullptr && self->m_declineNext) {
        self->m_declineNext = FALSE;
        return FALSE;
    }
    if (message == WM_INITDIALOG && self == nullptr) {
        self = reinterpret_cast<CDialogBase*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        self->m_hWnd = window;
        return self->OnInitDialog();
    }
    if (self == nullptr) return FALSE;  // before WM_INITDIALOG, or detached: the dialog manager's handling
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
