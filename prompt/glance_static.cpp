#include "glance_static.h"

#include <commctrl.h>

#include <cstddef>

#include "gdi_handles.h"
#include "text_extent.h"

namespace {
// TOOLINFOW up to and including lParam, without lpReserved: the size every version of the
// tooltip control accepts (64 bytes in a 64-bit program).
constexpr UINT kToolInfoSize = offsetof(TOOLINFOW, lParam) + sizeof(LPARAM);
static_assert(sizeof(void*) != 8 || kToolInfoSize == 64);

constexpr UINT_PTR kHoverToolId = 1;
constexpr UINT_PTR kTrackingToolId = 0;
// A static control of any type but left-aligned text has one of these style bits set.
constexpr LONG kStaticTypeBits = 0xF;

// The mouse messages the hover tooltip needs to time and place its tip. Double-clicks are not
// among them.
bool IsRelayedMouseMessage(UINT message)
{
    switch (message) {
    case WM_MOUSEMOVE:
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

TOOLINFOW ToolInfo(UINT flags, HWND window, UINT_PTR id)
{
    TOOLINFOW tool{};
    tool.cbSize = kToolInfoSize;
    tool.uFlags = flags;
    tool.hwnd = window;
    tool.uId = id;
    return tool;
}

HWND CreateToolTip(DWORD style, HWND owner)
{
    return CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, owner, nullptr, GetModuleHandleW(nullptr), nullptr);
}
}  // namespace

// WM_CTLCOLOR* has no entry: the dialog colours the link (the default handling sends it there).
constinit const MessageEntry CGlanceUIStatic::messageEntries[] = {
    DestroyEntry<CGlanceUIStatic, &CGlanceUIStatic::OnDestroy>(),
    SetFocusEntry<CGlanceUIStatic, &CGlanceUIStatic::OnSetFocus>(),
    KillFocusEntry<CGlanceUIStatic, &CGlanceUIStatic::OnKillFocus>(),
    GetDlgCodeEntry<CGlanceUIStatic, &CGlanceUIStatic::OnGetDlgCode>(),
};
constinit const MessageMapOf<CGlanceUIStatic> CGlanceUIStatic::messageMap =
    MakeMessageMap<CGlanceUIStatic>(messageEntries);

CGlanceUIStatic::~CGlanceUIStatic()
{
    m_toolTip.Reset();
    HideTrackingTip();
}

void CGlanceUIStatic::PreSubclassWindow()
{
    if (m_toolTip) return;
    // Without SS_NOTIFY a static passes its mouse messages on to the dialog. Nothing is drawn
    // differently, so the change needs no notification.
    SetWindowLongW(m_hWnd, GWL_STYLE, GetWindowLongW(m_hWnd, GWL_STYLE) | SS_NOTIFY);

    m_toolTip.Reset(CreateToolTip(TTS_ALWAYSTIP, m_hWnd));
    if (!m_toolTip) return;
    SendMessageW(m_toolTip.Get(), TTM_ACTIVATE, TRUE, 0);
    // Neither TTF_IDISHWND nor TTF_SUBCLASS: the tooltip sees the mouse only through
    // PreTranslateMessage's relays. The rectangle is not updated when the link moves later.
    wchar_t emptyText[] = L"";
    TOOLINFOW tool = ToolInfo(0, m_hWnd, kHoverToolId);
    GetClientRect(m_hWnd, &tool.rect);
    tool.lpszText = emptyText;
    SendMessageW(m_toolTip.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

void CGlanceUIStatic::SetTipText(const wchar_t* text)
{
    m_tipText = text != nullptr ? text : L"";
    if (!m_toolTip) return;
    TOOLINFOW tool = ToolInfo(0, m_hWnd, kHoverToolId);
    tool.lpszText = m_tipText.data();
    SendMessageW(m_toolTip.Get(), TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

BOOL CGlanceUIStatic::PreTranslateMessage(MSG* message)
{
    if (m_toolTip && !m_trackingTip && message->hwnd == m_hWnd && IsRelayedMouseMessage(message->message))
        SendMessageW(m_toolTip.Get(), TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(message));
    return FALSE;
}

RECT CGlanceUIStatic::TextRectOnScreen() const
{
    RECT text{};
    MeasureWindowText(m_hWnd, reinterpret_cast<HFONT>(SendMessageW(m_hWnd, WM_GETFONT, 0, 0)), &text);
    MapWindowPoints(m_hWnd, nullptr, reinterpret_cast<POINT*>(&text), 2);
    return text;
}

BOOL CGlanceUIStatic::DrawFocus()
{
    const HWND parent = GetParent(m_hWnd);
    if (parent == nullptr) return FALSE;
    RECT frame{};
    if ((GetWindowLongW(m_hWnd, GWL_STYLE) & kStaticTypeBits) != 0) {
        GetWindowRect(m_hWnd, &frame);
    } else {
        frame = TextRectOnScreen();
    }
    InflateRect(&frame, 1, 1);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&frame), 2);
    const WindowDC dc(parent);
    if (dc) DrawFocusRect(dc.Get(), &frame);
    return TRUE;
}

BOOL CGlanceUIStatic::ShowTrackingTip()
{
    if (m_trackingTip) return TRUE;
    m_trackingTip.Reset(CreateToolTip(TTS_NOPREFIX | TTS_ALWAYSTIP, m_hWnd));
    if (!m_trackingTip) return FALSE;

    const RECT text = TextRectOnScreen();
    TOOLINFOW tool = ToolInfo(TTF_TRACK, nullptr, kTrackingToolId);
    tool.hinst = GetModuleHandleW(nullptr);
    tool.lpszText = m_tipText.data();
    SendMessageW(m_trackingTip.Get(), TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    // The tooltip control places the tip at (or near) this point: the text's bottom-right corner.
    SendMessageW(m_trackingTip.Get(), TTM_TRACKPOSITION, 0, MAKELPARAM(text.right, text.bottom));
    SendMessageW(m_trackingTip.Get(), TTM_TRACKACTIVATE, TRUE, reinterpret_cast<LPARAM>(&tool));
    return TRUE;
}

BOOL CGlanceUIStatic::HideTrackingTip()
{
    if (!m_trackingTip) return TRUE;
    return DestroyWindow(m_trackingTip.Release());
}

void CGlanceUIStatic::OnSetFocus(HWND)
{
    DrawFocus();
    // The hover tip already tells the same; a second tip would cover it.
    if (!IsWindowVisible(m_toolTip.Get())) ShowTrackingTip();
}

void CGlanceUIStatic::OnKillFocus(HWND)
{
    DrawFocus();
    HideTrackingTip();
}

void CGlanceUIStatic::OnDestroy()
{
    Default();
    m_toolTip.Reset();
    HideTrackingTip();
}

UINT CGlanceUIStatic::OnGetDlgCode()
{
    return DLGC_WANTCHARS;
}
