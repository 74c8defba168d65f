#include "ui/wnd_base.h"

#include <commctrl.h>

namespace {
// The window property that leads from a bound window to its object.
constexpr const wchar_t* kObjectProperty = L"GlanceUI.BoundObject";
// The id of this library's subclass among the window's subclasses (the procedure tells it apart).
constexpr UINT_PTR kSubclassId = 1;
}  // namespace

constinit const MessageMapOf<CWndBase> CWndBase::messageMap = {{nullptr, nullptr, 0}};

CWndBase::~CWndBase()
{
    if (m_subclassed) UnsubclassWindow();
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
    if (!SetWindowSubclass(window, &SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this))) {
        RemovePropW(window, kObjectProperty);
        m_hWnd = nullptr;
        return FALSE;
    }
    m_subclassed = TRUE;
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
    if (!m_subclassed) return nullptr;
    const HWND window = m_hWnd;
    // Only this subclass leaves the chain; the common controls restore the window's own procedure
    // once no subclass is left and nobody replaced it after them.
    RemoveWindowSubclass(window, &SubclassProc, kSubclassId);
    RemovePropW(window, kObjectProperty);
    m_subclassed = FALSE;
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
    // A handler may send messages that reach this object again: each keeps its own state.
    const CurrentMessage outer = m_current;
    m_current = {message, wParam, lParam, TRUE};
    const LRESULT handlerResult = entry->handler(*this, message, wParam, lParam);
    const BOOL handled = m_current.handled;
    m_current = outer;
    if (handled) *result = handlerResult;
    return handled;
}

LRESULT CWndBase::Default()
{
    return DefaultHandling(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWndBase::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_subclassed) return 0;
    return DefSubclassProc(m_hWnd, message, wParam, lParam);
}

LRESULT CALLBACK CWndBase::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                        DWORD_PTR object)
{
    auto* self = reinterpret_cast<CWndBase*>(object);
    if (message == WM_NCDESTROY) {
        // The last message of the window: unbind first, so that nothing reaches the object after.
        self->UnsubclassWindow();
        return DefSubclassProc(window, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (self->OnWndMsg(message, wParam, lParam, &result)) return result;
    return DefSubclassProc(window, message, wParam, lParam);
}
