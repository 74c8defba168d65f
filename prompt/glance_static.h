// CGlanceUIStatic, the prompt's "What's this?" help link: a static text control of the dialog,
// bound to this class, that explains itself in two tooltips. A hover tooltip shows the tip text
// while the mouse rests on the link; it sees the mouse only through the messages the link relays
// to it. When the link gets the keyboard focus, a tracking tooltip shows the same text at once at
// the bottom-right corner of the link's text and stays until the focus leaves or the dialog sees a
// mouse button pressed elsewhere (the dialog calls HideTrackingTip). While focused, the link
// frames its text with a focus rectangle drawn on the dialog.
#pragma once

#include <windows.h>

#include <string>

#include "ui/ui.h"
#include "ui/unique_window.h"

class CGlanceUIStatic : public CWindowClass<CGlanceUIStatic, CWndBase> {
public:
    // No window yet: no tooltips, an empty tip text.
    CGlanceUIStatic() = default;
    // Destroys both tooltips, if still there (when the link's window never saw WM_DESTROY).
    ~CGlanceUIStatic() override;

    static const MessageMapOf<CGlanceUIStatic> messageMap;

    // Sees the queued messages addressed to the link: relays the mouse moves and the button
    // presses and releases (never double-clicks) to the hover tooltip, but nothing while a
    // tracking tooltip exists. Consumes nothing.
    BOOL PreTranslateMessage(MSG* message) override;

    // Keeps a copy of `text` (null: empty) as the tip text and gives it to the hover tooltip. A
    // tracking tooltip already shown keeps its text.
    void SetTipText(const wchar_t* text);

    // Frames the link's text (its window rectangle for static types other than left-aligned
    // text) one pixel outside with a focus rectangle drawn on the parent window. Drawing inverts, so
    // a second call removes it. FALSE when the link has no parent.
    BOOL DrawFocus();

    // Shows the tracking tooltip at the bottom-right corner of the link's text. TRUE when one
    // exists afterwards (it may have existed before); FALSE when it could not be created.
    BOOL ShowTrackingTip();
    // Destroys the tracking tooltip. TRUE when there was none or it was destroyed; either way there
    // is none afterwards.
    BOOL HideTrackingTip();

    // The tooltip windows, null when absent (for inspection).
    HWND HoverTipWindow() const { return m_toolTip.Get(); }
    HWND TrackingTipWindow() const { return m_trackingTip.Get(); }
    const std::wstring& TipText() const { return m_tipText; }

protected:
    // Adds SS_NOTIFY (so that the control receives mouse messages itself) and creates the hover
    // tooltip, owned by the link, with one tool over the link's client rectangle and an empty text.
    // Once per object: a second binding creates nothing.
    void PreSubclassWindow() override;

private:
    static const MessageEntry messageEntries[];

    // The focus rectangle, then the tracking tip unless the hover tip is on screen.
    void OnSetFocus(HWND previousFocus);
    // The focus rectangle again (removing it), and the tracking tip goes.
    void OnKillFocus(HWND nextFocus);
    // The control's own handling, then both tooltips go.
    void OnDestroy();
    // DLGC_WANTCHARS: characters reach the link; Enter still presses the default button.
    UINT OnGetDlgCode();

    // The link's text rectangle in screen coordinates, measured with the link's own font.
    RECT TextRectOnScreen() const;

    UniqueWindow m_trackingTip;  // null whenever there is no tracking tip
    std::wstring m_tipText;
    UniqueWindow m_toolTip;      // the hover tooltip, from PreSubclassWindow on
};
