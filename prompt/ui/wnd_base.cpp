#include "ui/wnd_base.h"

namespace {
// The window property that leads from a bound window to its object.
constexpr const wchar_t* kObjectProperty = L"GlanceUI.BoundObject";
}  // namespace

constinit const MessageMap CWndBase::messageMap = {nullptr, nullptr, 0};

CWndBase::~CWndBase()
{
    if (m_originalProc != nullptr) UnsubclassWindow();
}

const MessageMap* CWndBase::GetMessageMap() const
{
    return &messageMap;
}

BOOL CWndBase::PreTranslateMessage(MSG*)
{
    return FALSE;
}

void CWndBase::PreSubclassWindow() {}

BOOL CWndBase::SubclassWindow(HWND window)
{
    if (window == nullptr || m_hWnd != nullptr || FromHandlePermanent(window) != nullptr) return FALSE;
    if (!SetPropW(window, kObjectProperty, this)) return FALSE;
    m_hWnd = window;
    PreSubclassWindow();
    const LONG_PTR original = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&SubclassProc));
    if (original == 0) {
        RemovePropW(window, kObjectProperty);
        m_hWnd = nullptr;
        return FALSE;
    }
    m_originalProc = reinterpret_cast<WNDPROC>(original);
    return TRUE;
}

BOOL CWndBase::SubclassDlgItem(int id, const CWndBase& parent)
{
    const HWND parentWindow = parent.GetSafeHwnd();
    if (parentWindow == nullptr) return FALSE;
    return SubclassWindow(GetDlgItem(parentWindow, id));
}

HWND CWndBase::UnsubclassWindow()
{
    if (m_originalProc == nullptr) return nullptr;
    const HWND window = m_hWnd;
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_originalProc));
    RemovePropW(window, kObjectProperty);
    m_originalProc = nullptr;
    m_hWnd = nullptr;
    return window;
}

CWndBase* CWndBase::FromHandlePermanent(HWND window)
{
    if (window == nullptr) return nullptr;
    return static_cast<CWndBase*>(GetPropW(window, kObjectProperty));
}

BOOL CWndBase::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    const MessageEntry* entry = FindMessageEntry(GetMessageMap(), message, wParam);
    if (entry == nullptr) return FALSE;
    *result = entry->handler(*this, wParam, lParam);
    return TRUE;
}

LRESULT CWndBase::Default(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_originalProc == nullptr) return DefWindowProcW(m_hWnd, message, wParam, lParam);
    return CallWindowProcW(m_originalProc, m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWndBase::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWndBase* self = FromHandlePermanent(window);
    if (self == nullptr) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The last message of the window: unbind first, so that nothing reaches the object after.
        const WNDPROC original = self->m_originalProc;
        self->UnsubclassWindow();
        return CallWindowProcW(original, window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (self->OnWndMsg(message, wParam, lParam, &result)) return result;
    return self->Default(message, wParam, lParam);
}
