#include "glance_dlg.h"

#include <shlwapi.h>

#include "feedback_choice.h"
#include "function_sources.h"
#include "glance_layout.h"
#include "resources/resource.h"
#include "text_extent.h"

// Escape and the close button take the base's IDCANCEL entry and record nothing.
constinit const MessageEntry CGlanceUIAppDlg::messageEntries[] = {
    CommandEntry<CGlanceUIAppDlg, &CGlanceUIAppDlg::OnOk>(IDOK, BN_CLICKED),
    CommandEntry<CGlanceUIAppDlg, &CGlanceUIAppDlg::OnNoThanks>(IDNO, BN_CLICKED),
    CtlColorEntry<CGlanceUIAppDlg, &CGlanceUIAppDlg::OnCtlColor>(),
    EraseBkgndEntry<CGlanceUIAppDlg, &CGlanceUIAppDlg::OnEraseBkgnd>(),
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

namespace {

// The help icon, from the system's own resources (user32's question mark).
constexpr WORD kHelpIconResource = 102;

RECT WindowRectOf(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

// Moves a child of `dialog` to `screenRect`, given in screen coordinates.
void MoveChild(HWND dialog, HWND child, RECT screenRect)
{
    ScreenToClient(dialog, reinterpret_cast<POINT*>(&screenRect.left));
    ScreenToClient(dialog, reinterpret_cast<POINT*>(&screenRect.right));
    MoveWindow(child, screenRect.left, screenRect.top, screenRect.right - screenRect.left,
               screenRect.bottom - screenRect.top, TRUE);
}

// The extent of a control's current text in the dialog's own font.
SIZE MeasureInDialogFont(HWND dialog, HWND control)
{
    RECT extent{};
    MeasureWindowText(control, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)), &extent);
    return SIZE{extent.right - extent.left, extent.bottom - extent.top};
}

HBITMAP LoadProgramBitmap(UINT id)
{
    return static_cast<HBITMAP>(
        LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

// Shows `bitmap` in a picture control; the control's previous image, if any, is deleted.
void SetPicture(HWND picture, HBITMAP bitmap)
{
    const auto previous = reinterpret_cast<HGDIOBJ>(
        SendMessageW(picture, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    if (previous != nullptr) DeleteObject(previous);
}

}  // namespace

BOOL CGlanceUIAppDlg::OnInitDialog()
{
    CDialogBase::OnInitDialog();  // binds the help link
    if (HWND message = GetDlgItem(m_hWnd, IDC_MESSAGE)) SetWindowTextW(message, m_messageText);
    SetWindowTextW(m_helpLink.GetSafeHwnd(), L"What's this?");
    m_helpLink.SetTipText(m_hoverText);

    m_exampleBitmap.Reset(LoadProgramBitmap(IDB_EXAMPLE));
    if (HWND example = GetDlgItem(m_hWnd, IDC_EXAMPLE_PICTURE)) {
        SendMessageW(example, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(m_exampleBitmap.Get()));
    }

    if (HideFunctionControls()) {
        if (ShowsFunctionGroups(m_sourcesFound, m_functionCount)) {
            if (LayoutFunctions()) FitAndCenterWindow();
        } else if (LayoutExampleOnly() && PlaceButtonsExampleOnly()) {
            FitAndCenterWindow();
        }
    }

    // Whatever the layout did: the message 10 px narrower than the dialog's outer width.
    if (HWND message = GetDlgItem(m_hWnd, IDC_MESSAGE)) {
        MoveChild(m_hWnd, message, ComputeWidenedMessage(WindowRectOf(message), WindowRectOf(m_hWnd)));
    }
    return TRUE;
}

BOOL CGlanceUIAppDlg::HideFunctionControls()
{
    static constexpr int kHidden[] = {
        1000, 1014, 1001, 1015, 1008, 1009, 1021,                                      // the group boxes
        1002, 1003, 1012, 1013, 1004, 1005, 1017, 1016, 1006, 1007, 1010, 1011, 1024, 1023,  // the pictures
        IDC_HELP_ICON, IDC_HELP_LINK};
    for (const int id : kHidden) ShowWindow(GetDlgItem(m_hWnd, id), SW_HIDE);
    return TRUE;
}

BOOL CGlanceUIAppDlg::PlaceFunctionGroup(const RECT& previous, int group, int top, int bottom, BOOL besidePrevious,
                                         BOOL secondRow)
{
    const HWND groupBox = GetDlgItem(m_hWnd, group);
    const HWND topPicture = GetDlgItem(m_hWnd, top);
    const HWND bottomPicture = GetDlgItem(m_hWnd, bottom);
    if (groupBox == nullptr || topPicture == nullptr || bottomPicture == nullptr) return FALSE;
    RECT anchor{};
    if (!besidePrevious) {
        const HWND anchorControl = GetDlgItem(m_hWnd, FunctionGroupAnchorId(secondRow != FALSE));
        if (anchorControl == nullptr) return FALSE;
        anchor = WindowRectOf(anchorControl);
    }
    // The caption is still the template's, one line of the dialog font.
    const int captionHeight = MeasureInDialogFont(m_hWnd, groupBox).cy;
    const FunctionGroupRects rects = ComputeFunctionGroup(previous, anchor, besidePrevious != FALSE, secondRow != FALSE,
                                                          m_functionCount, captionHeight);
    MoveChild(m_hWnd, groupBox, rects.group);
    MoveChild(m_hWnd, topPicture, rects.top);
    MoveChild(m_hWnd, bottomPicture, rects.bottom);
    return TRUE;
}

BOOL CGlanceUIAppDlg::LayoutFunctions()
{
    BOOL result = TRUE;
    const RECT unused{};
    for (int slot = 0; slot < m_functionCount; ++slot) {
        const SlotControls& controls = SlotControlIds[slot];
        const PromptFunctionInfo& function = PromptFunctionInfoOf(m_functions[slot]);
        if (slot == 0 && result) {
            result = PlaceFunctionGroup(unused, controls.group, controls.top, controls.bottom, FALSE, FALSE);
        }
        if (StartsSecondRow(m_functionCount, slot) && result) {
            result = PlaceFunctionGroup(unused, controls.group, controls.top, controls.bottom, FALSE, TRUE);
        }
        const HWND groupBox = GetDlgItem(m_hWnd, controls.group);
        const RECT placed = WindowRectOf(groupBox);
        bool fill = false;
        if (slot == m_functionCount - 1) {
            if (result) result = PlaceExample(placed);
            PlaceButtons(placed);  // the buttons are placed whatever became of the rest
            fill = result != FALSE;
        } else if (result) {
            const SlotControls& next = SlotControlIds[slot + 1];
            result = PlaceFunctionGroup(placed, next.group, next.top, next.bottom, TRUE, FALSE);
            fill = result != FALSE;
        }
        if (fill) {
            const HWND topPicture = GetDlgItem(m_hWnd, controls.top);
            const HWND bottomPicture = GetDlgItem(m_hWnd, controls.bottom);
            SetWindowTextW(groupBox, function.label);
            SetPicture(topPicture, m_topBitmaps.Add(LoadProgramBitmap(function.topBitmap)));
            SetPicture(bottomPicture, m_bottomBitmaps.Add(LoadProgramBitmap(function.bottomBitmap)));
            ShowWindow(groupBox, SW_SHOW);
            ShowWindow(topPicture, SW_SHOW);
            ShowWindow(bottomPicture, SW_SHOW);
        }
        if (function.hasHelpLink && groupBox != nullptr) {
            const RECT fnLockGroup = WindowRectOf(groupBox);
            result = result ? PlaceHelpLink(fnLockGroup) : FALSE;
        }
    }
    return result;
}

BOOL CGlanceUIAppDlg::PlaceExample(const RECT& lastGroup)
{
    const HWND box = GetDlgItem(m_hWnd, IDC_EXAMPLE_GROUP);
    const HWND picture = GetDlgItem(m_hWnd, IDC_EXAMPLE_PICTURE);
    if (box == nullptr || picture == nullptr) return FALSE;
    RECT reference = lastGroup;
    const int referenceSlot = ExampleReferenceSlot(m_functionCount);
    if (referenceSlot != kLastGroupReference) {
        const HWND referenceGroup = GetDlgItem(m_hWnd, SlotControlIds[referenceSlot].group);
        if (referenceGroup == nullptr) return FALSE;
        reference = WindowRectOf(referenceGroup);
    }
    const ExampleRects rects = ComputeExample(lastGroup, reference, m_functionCount);
    MoveChild(m_hWnd, box, rects.box);
    MoveChild(m_hWnd, picture, rects.picture);
    return TRUE;
}

BOOL CGlanceUIAppDlg::PlaceButtons(const RECT& lastGroup)
{
    const HWND box = GetDlgItem(m_hWnd, IDC_EXAMPLE_GROUP);
    const HWND ok = GetDlgItem(m_hWnd, IDOK);
    const HWND noThanks = GetDlgItem(m_hWnd, IDNO);
    if (box == nullptr || ok == nullptr || noThanks == nullptr) return FALSE;
    const ButtonRects rects = ComputeButtons(lastGroup, WindowRectOf(box));
    MoveChild(m_hWnd, noThanks, rects.noThanks);
    MoveChild(m_hWnd, ok, rects.ok);
    return TRUE;
}

BOOL CGlanceUIAppDlg::PlaceHelpLink(const RECT& fnLockGroup)
{
    const HWND icon = GetDlgItem(m_hWnd, IDC_HELP_ICON);
    const HWND link = GetDlgItem(m_hWnd, IDC_HELP_LINK);
    if (icon == nullptr || link == nullptr) return FALSE;
    const HelpLinkRects rects = ComputeHelpLink(fnLockGroup, MeasureInDialogFont(m_hWnd, link).cx);
    // Handed to the control for the program's life; the system's question-mark icon.
    const HANDLE helpIcon = LoadImageW(GetModuleHandleW(L"user32"), MAKEINTRESOURCEW(kHelpIconResource), IMAGE_ICON, 16,
                                       16, LR_DEFAULTCOLOR);
    if (helpIcon != nullptr) SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(helpIcon), 0);
    MoveChild(m_hWnd, icon, rects.icon);
    MoveChild(m_hWnd, link, rects.link);
    ShowWindow(icon, SW_SHOW);
    ShowWindow(link, SW_SHOW);
    return TRUE;
}

BOOL CGlanceUIAppDlg::LayoutExampleOnly()
{
    const HWND box = GetDlgItem(m_hWnd, IDC_EXAMPLE_GROUP);
    const HWND picture = GetDlgItem(m_hWnd, IDC_EXAMPLE_PICTURE);
    const HWND message = GetDlgItem(m_hWnd, IDC_MESSAGE);
    if (box == nullptr || picture == nullptr || message == nullptr) return FALSE;
    const ExampleRects rects = ComputeExampleOnly(WindowRectOf(message), MeasureInDialogFont(m_hWnd, message));
    MoveChild(m_hWnd, box, rects.box);
    MoveChild(m_hWnd, picture, rects.picture);
    return TRUE;
}

BOOL CGlanceUIAppDlg::PlaceButtonsExampleOnly()
{
    const HWND box = GetDlgItem(m_hWnd, IDC_EXAMPLE_GROUP);
    const HWND ok = GetDlgItem(m_hWnd, IDOK);
    const HWND noThanks = GetDlgItem(m_hWnd, IDNO);
    if (box == nullptr || ok == nullptr || noThanks == nullptr) return FALSE;
    const ButtonRects rects = ComputeButtonsExampleOnly(WindowRectOf(box));
    MoveChild(m_hWnd, noThanks, rects.noThanks);
    MoveChild(m_hWnd, ok, rects.ok);
    return TRUE;
}

void CGlanceUIAppDlg::FitAndCenterWindow()
{
    const HWND noThanks = GetDlgItem(m_hWnd, IDNO);
    if (noThanks == nullptr) return;
    RECT button = WindowRectOf(noThanks);
    ScreenToClient(m_hWnd, reinterpret_cast<POINT*>(&button.left));
    ScreenToClient(m_hWnd, reinterpret_cast<POINT*>(&button.right));
    const DialogMetrics metrics{GetSystemMetrics(SM_CXDLGFRAME), GetSystemMetrics(SM_CYDLGFRAME),
                                GetSystemMetrics(SM_CYCAPTION), GetSystemMetrics(SM_CXSCREEN),
                                GetSystemMetrics(SM_CYSCREEN)};
    const WindowPlacement placement = ComputeFittedWindow(button, metrics);
    MoveWindow(m_hWnd, placement.x, placement.y, placement.width, placement.height, TRUE);
}

HBRUSH CGlanceUIAppDlg::OnCtlColor(HDC dc, HWND child, UINT)
{
    SetTextColor(dc, GetSysColor(GetDlgCtrlID(child) == IDC_HELP_LINK ? COLOR_HOTLIGHT : COLOR_WINDOWTEXT));
    SetBkMode(dc, TRANSPARENT);
    return m_backgroundBrush.Get();
}

BOOL CGlanceUIAppDlg::OnEraseBkgnd(HDC dc)
{
    RECT client{};
    GetClientRect(m_hWnd, &client);
    const SelectedObject brush(dc, m_backgroundBrush.Get());
    return PatBlt(dc, 0, 0, client.right - client.left, client.bottom - client.top, PATCOPY);
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
