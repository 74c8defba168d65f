// CGlanceUIAppDlg, the feedback opt-in prompt: its model (which functions to offer, its two
// texts) is complete when the constructor returns, before any window exists; its two buttons
// record the user's decision; its "What's this?" link (control 1025) explains Fn Lock.
#pragma once

#include <windows.h>

#include <vector>

#include "gdi_handles.h"
#include "glance_static.h"
#include "prompt_function.h"
#include "prompt_text.h"
#include "ui/ui.h"

class CGlanceUIAppDlg : public CWindowClass<CGlanceUIAppDlg, CDialogBase> {
public:
    // Dialog template 102. Reads the texts beside the program and discovers the functions.
    explicit CGlanceUIAppDlg(HWND owner = nullptr);

    // Fills the function slots from the machine's function sources, in the order FnLock,
    // Touchpad, NumLock, CapsLock, RVL, Camera, Microphone, and sets the count. TRUE when any
    // source but "CapsLock" could be read.
    BOOL DiscoverFunctions();

    BOOL SourcesFound() const { return m_sourcesFound; }
    int FunctionCount() const { return m_functionCount; }
    PromptFunction FunctionAt(int slot) const
    {
        return slot >= 0 && slot < kPromptFunctionSlots ? m_functions[slot] : PromptFunction::None;
    }
    const wchar_t* MessageText() const { return m_messageText; }
    const wchar_t* HoverText() const { return m_hoverText; }
    HBRUSH BackgroundBrush() const { return m_backgroundBrush.Get(); }
    CGlanceUIStatic& HelpLink() { return m_helpLink; }

    // Before the dialog's keyboard handling: a mouse button pressed or released (not a
    // double-click, not a move) anywhere outside the help link's window closes its tracking tip.
    BOOL PreTranslateMessage(MSG* message) override;

    static const MessageMapOf<CGlanceUIAppDlg> messageMap;

    // Deletes the pictures it loaded (the dialog window is gone by then): the example picture,
    // the top pictures in slot order, the bottom pictures; then the help link goes, then the
    // background brush (the order of the members below gives this).
    ~CGlanceUIAppDlg() override = default;

protected:
    // Binds the help link (standard initialisation), sets the texts, shows the example picture,
    // hides every function control, lays out the offered functions (or the example alone), fits
    // and centres the dialog, and widens the message to 10 px less than the dialog's outer width.
    // TRUE: the first tab stop, "OK", gets the focus.
    BOOL OnInitDialog() override;

    // The layout's steps, called only from OnInitDialog; FALSE when a control they need is
    // missing, having moved nothing. Rectangles are window rectangles (screen coordinates).
    BOOL HideFunctionControls();
    BOOL LayoutFunctions();
    BOOL PlaceFunctionGroup(const RECT& previous, int group, int top, int bottom, BOOL besidePrevious, BOOL secondRow);
    BOOL PlaceExample(const RECT& lastGroup);
    BOOL PlaceButtons(const RECT& lastGroup);
    BOOL PlaceHelpLink(const RECT& fnLockGroup);
    BOOL LayoutExampleOnly();
    BOOL PlaceButtonsExampleOnly();
    void FitAndCenterWindow();

    // Every control-colour message: window-text colour (the help link: hot-track colour) on a
    // transparent background, the window-colour brush.
    HBRUSH OnCtlColor(HDC dc, HWND child, UINT ctlType);
    // Paints the client area with the window-colour brush.
    BOOL OnEraseBkgnd(HDC dc);
    // Control 1025 to m_helpLink.
    void BindControls() override;

    // "OK" (also Enter while no other push button has the focus): records 1, ends with IDOK.
    void OnOk();
    // "No, thank you.": records 0, ends with IDCANCEL.
    void OnNoThanks();

private:
    static const MessageEntry messageEntries[];

    UniqueBrush m_backgroundBrush;
    BOOL m_sourcesFound;
    std::int32_t m_functionCount;
    PromptFunction m_functions[kPromptFunctionSlots];
    wchar_t m_messageText[kPromptTextChars] = {};
    wchar_t m_hoverText[kPromptTextChars] = {};
    CGlanceUIStatic m_helpLink;
    // Destroyed in reverse order of declaration: the example picture first, then the top
    // pictures, then the bottom ones, all before the help link and the brush.
    BitmapList m_bottomBitmaps;
    BitmapList m_topBitmaps;
    UniqueBitmap m_exampleBitmap;
};
