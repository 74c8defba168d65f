// The help link CGlanceUIStatic in the test's own windows and dialogs (its hover tooltip and the
// relayed mouse messages, the tracking tooltip on keyboard focus, the focus rectangle read back from
// the dialog's pixels, the tooltips' end), and the prompt dialog's side of it: its
// PreTranslateMessage, called directly and fed by the real dialog's modal loop in this process.
#include <doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dialog_script.h"
#include "glance_dlg.h"
#include "glance_static.h"
#include "prompt_test_support.h"
#include "resources/resource.h"
#include "ui_probe.h"

#if defined(FNKEY_HANDLE_ACCOUNTING)
#include "unique_handle.h"
#endif

using namespace prompt_test;

namespace {
constexpr const wchar_t* kTip = L"Fn Lock toggles the primary functions of F1 through F12.";
// The position the test's posted mouse messages carry (client coordinates of the link); real mouse
// messages from the display carry others.
constexpr LPARAM kMarkerPoint = MAKELPARAM(3, 4);

std::wstring ClassOf(HWND window)
{
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

RECT WindowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

std::string Describe(const RECT& r)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%ld, %ld, %ld, %ld)", r.left, r.top, r.right, r.bottom);
    return text;
}

// The link's text rectangle on the screen, measured as a static control draws it: its own font.
RECT TextOnScreen(HWND link)
{
    wchar_t text[64] = {};
    const int length = GetWindowTextW(link, text, 64);
    RECT rect{};
    const HDC dc = GetDC(link);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(link, WM_GETFONT, 0, 0)));
    DrawTextW(dc, text, length, &rect, DT_CALCRECT);
    SelectObject(dc, previous);
    ReleaseDC(link, dc);
    MapWindowPoints(link, nullptr, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

RECT ToClient(HWND window, RECT rect)
{
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The pixels of a region of a window's client area, read from its device context.
struct Pixels {
    RECT region{};
    std::vector<DWORD> bits;

    DWORD At(LONG x, LONG y) const { return bits[(y - region.top) * (region.right - region.left) + (x - region.left)]; }
};

Pixels Capture(HWND window, const RECT& region)
{
    Pixels pixels{region, {}};
    const int width = region.right - region.left, height = region.bottom - region.top;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    const HDC dc = GetDC(window);
    const HDC memory = CreateCompatibleDC(dc);
    void* bits = nullptr;
    const HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, dc, region.left, region.top, SRCCOPY);
    GdiFlush();
    const auto* first = static_cast<const DWORD*>(bits);
    pixels.bits.assign(first, first + width * height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, dc);
    return pixels;
}

// What changed between two captures, judged against a focus rectangle on the border of `frame`.
struct FrameChange {
    int stray = 0;                     // changed pixels off the frame's border
    int top = 0, bottom = 0, left = 0, right = 0;  // changed pixels on each side
};

FrameChange Compare(const Pixels& before, const Pixels& after, const RECT& frame)
{
    FrameChange change;
    for (LONG y = before.region.top; y < before.region.bottom; ++y) {
        for (LONG x = before.region.left; x < before.region.right; ++x) {
            if (before.At(x, y) == after.At(x, y)) continue;
            const bool within = x >= frame.left && x < frame.right && y >= frame.top && y < frame.bottom;
            bool onBorder = false;
            if (within && y == frame.top) onBorder = true, ++change.top;
            if (within && y == frame.bottom - 1) onBorder = true, ++change.bottom;
            if (within && x == frame.left) onBorder = true, ++change.left;
            if (within && x == frame.right - 1) onBorder = true, ++change.right;
            if (!onBorder) ++change.stray;
        }
    }
    return change;
}

// A focus rectangle is dotted: about every other pixel of each side is inverted.
void CheckFocusFrame(const FrameChange& change, const RECT& frame)
{
    CAPTURE(Describe(frame));
    CHECK(change.stray == 0);
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    CHECK(change.top >= width / 2 - 1);
    CHECK(change.bottom >= width / 2 - 1);
    CHECK(change.left >= height / 2 - 1);
    CHECK(change.right >= height / 2 - 1);
}

RECT Inflated(RECT rect, int by)
{
    InflateRect(&rect, by, by);
    return rect;
}

// Keeps the real cursor off the test's windows, so that the display's own mouse messages do not
// make the hover tip appear.
void ParkCursor()
{
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
}

// A top-level window with one static child, for the link's tests outside a dialog.
struct LinkHost {
    explicit LinkHost(DWORD linkStyle = SS_LEFT)
    {
        parent = CreateWindowExW(0, L"Static", L"", WS_POPUP | WS_VISIBLE | SS_WHITERECT, 300, 300, 320, 120, nullptr,
                                 nullptr, nullptr, nullptr);
        REQUIRE(parent != nullptr);
        link = CreateWindowExW(0, L"Static", L"What's this?", WS_CHILD | WS_VISIBLE | linkStyle, 40, 30, 150, 24,
                               parent, nullptr, nullptr, nullptr);
        REQUIRE(link != nullptr);
        SendMessageW(link, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
        RedrawWindow(parent, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    }
    ~LinkHost()
    {
        if (IsWindow(parent)) DestroyWindow(parent);
    }
    LinkHost(const LinkHost&) = delete;
    LinkHost& operator=(const LinkHost&) = delete;

    HWND parent = nullptr;
    HWND link = nullptr;
};

std::wstring TipTextOf(HWND tip, HWND toolWindow, UINT_PTR id)
{
    wchar_t text[128] = {};
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = toolWindow;
    tool.uId = id;
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    return text;
}

TOOLINFOW FirstTool(HWND tip)
{
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    CHECK(SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&tool)));
    return tool;
}

// --- the link in a dialog of the test's --------------------------------------------------------------
class CLinkDialog : public CWindowClass<CLinkDialog, CDialogBase> {
public:
    CLinkDialog() : CWindowClass(IDD_LINK_PROBE, nullptr) {}
    static const MessageMapOf<CLinkDialog> messageMap;
    CGlanceUIStatic link;

    HWND Window() const { return GetSafeHwnd(); }
    HWND Link() const { return link.GetSafeHwnd(); }

protected:
    void BindControls() override { link.SubclassDlgItem(IDC_PROBE_LINK, *this); }
    BOOL OnInitDialog() override
    {
        CDialogBase::OnInitDialog();
        link.SetTipText(kTip);
        return TRUE;
    }
};
constinit const MessageMapOf<CLinkDialog> CLinkDialog::messageMap = MakeMessageMap<CLinkDialog>();

// Records the mouse messages relayed to a hover tooltip that the test posted to the link.
std::vector<UINT> g_relayed;

LRESULT CALLBACK RecordRelays(HWND tip, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR link)
{
    if (message == TTM_RELAYEVENT) {
        const auto* relayed = reinterpret_cast<const MSG*>(lParam);
        if (relayed->hwnd == reinterpret_cast<HWND>(link) && relayed->lParam == kMarkerPoint)
            g_relayed.push_back(relayed->message);
    }
    return DefSubclassProc(tip, message, wParam, lParam);
}

// Every mouse message (double-clicks, wheel and extra buttons included) and a few others.
const UINT kPostedToLink[] = {WM_MOUSEMOVE,     WM_LBUTTONDOWN,  WM_LBUTTONUP,  WM_LBUTTONDBLCLK, WM_RBUTTONDOWN,
                              WM_RBUTTONUP,     WM_RBUTTONDBLCLK, WM_MBUTTONDOWN, WM_MBUTTONUP,   WM_MBUTTONDBLCLK,
                              WM_MOUSEWHEEL,    WM_XBUTTONDOWN,  WM_XBUTTONUP,  WM_XBUTTONDBLCLK, WM_MOUSEHWHEEL,
                              WM_NCMOUSEMOVE,   WM_NCLBUTTONDOWN, WM_KEYDOWN,   WM_MOUSEHOVER,    WM_MOUSELEAVE};
const std::vector<UINT> kRelayed = {WM_MOUSEMOVE,   WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN,
                                    WM_RBUTTONUP,   WM_MBUTTONDOWN, WM_MBUTTONUP};

std::string Names(const std::vector<UINT>& messages)
{
    std::string text;
    for (const UINT message : messages) text += std::to_string(message) + " ";
    return text;
}

// The real prompt dialog with FnLock offered, so that its link is shown whatever the layout does.
struct PromptWithFnLock {
    PromptWithFnLock() { testreg::SetDword(kFunctionList, L"Type2", 0x20000); }
    CleanPromptRegistry clean;
};
}  // namespace

TEST_SUITE("ui") {
TEST_CASE("help link: binding makes the hover tooltip with one tool over the link; SetTipText gives it the text")
{
#if defined(FNKEY_HANDLE_ACCOUNTING)
    const long heldBefore = HeldHandleCount();
#endif
    LinkHost host(SS_LEFT);  // without SS_NOTIFY
    RECT client{};
    GetClientRect(host.link, &client);
    {
        CGlanceUIStatic link;
        CHECK(link.HoverTipWindow() == nullptr);
        CHECK(link.TipText().empty());
        REQUIRE(link.SubclassWindow(host.link));
        CHECK((GetWindowLongW(host.link, GWL_STYLE) & SS_NOTIFY) != 0);

        const HWND tip = link.HoverTipWindow();
        REQUIRE(tip != nullptr);
        CHECK(ClassOf(tip) == L"tooltips_class32");
        const LONG style = GetWindowLongW(tip, GWL_STYLE);
        CHECK((style & (WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX)) == (WS_POPUP | TTS_ALWAYSTIP));
        CHECK(GetWindowLongW(tip, GWL_EXSTYLE) == WS_EX_TOOLWINDOW);  // what the tooltip control adds itself
        CHECK(GetWindow(tip, GW_OWNER) == host.parent);  // a popup owned by the link is owned by its top level
        CHECK(link.TrackingTipWindow() == nullptr);

        CHECK(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0) == 1);
        const TOOLINFOW tool = FirstTool(tip);
        CHECK(tool.uId == 1);
        CHECK(tool.hwnd == host.link);
        CHECK(tool.uFlags == 0);  // neither TTF_IDISHWND nor TTF_SUBCLASS: the relays are its only input
        CHECK(EqualRect(&tool.rect, &client));
        CHECK(TipTextOf(tip, host.link, 1).empty());

        wchar_t text[64] = L"first text";
        link.SetTipText(text);
        text[0] = L'F';  // the link keeps a copy
        CHECK(link.TipText() == L"first text");
        CHECK(TipTextOf(tip, host.link, 1) == L"first text");
        link.SetTipText(nullptr);
        CHECK(TipTextOf(tip, host.link, 1).empty());

        // Bound again: the same tooltip, no second one.
        REQUIRE(link.UnsubclassWindow() == host.link);
        REQUIRE(link.SubclassWindow(host.link));
        CHECK(link.HoverTipWindow() == tip);
        CHECK(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0) == 1);

        CHECK(SendMessageW(host.link, WM_GETDLGCODE, 0, 0) == DLGC_WANTCHARS);
    }
#if defined(FNKEY_HANDLE_ACCOUNTING)
    CHECK(HeldHandleCount() == heldBefore);
#endif
}

TEST_CASE("help link: the tracking tip is made once, with one TTF_TRACK tool holding the tip text; HideTrackingTip destroys it")
{
    LinkHost host;
    CGlanceUIStatic link;
    REQUIRE(link.SubclassWindow(host.link));
    link.SetTipText(kTip);

    CHECK(link.HideTrackingTip());  // none yet
    REQUIRE(link.ShowTrackingTip());
    const HWND tip = link.TrackingTipWindow();
    REQUIRE(tip != nullptr);
    CHECK(link.ShowTrackingTip());
    CHECK(link.TrackingTipWindow() == tip);
    CHECK(ClassOf(tip) == L"tooltips_class32");
    CHECK((GetWindowLongW(tip, GWL_STYLE) & (WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX)) ==
          (WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX));
    CHECK(GetWindow(tip, GW_OWNER) == host.parent);
    CHECK(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0) == 1);
    const TOOLINFOW tool = FirstTool(tip);
    CHECK(tool.uId == 0);
    CHECK(tool.hwnd == nullptr);
    CHECK((tool.uFlags & TTF_TRACK) != 0);
    CHECK(TipTextOf(tip, nullptr, 0) == kTip);
    CHECK(IsWindowVisible(tip));

    CHECK(link.HideTrackingTip());
    CHECK(link.TrackingTipWindow() == nullptr);
    CHECK_FALSE(IsWindow(tip));
    CHECK(link.HideTrackingTip());
    CHECK(IsWindow(link.HoverTipWindow()));  // the hover tip stays
}

TEST_CASE("help link: DrawFocus frames the text one pixel outside (the window for other static types) on the parent; a second call removes it")
{
    struct Row {
        const char* name;
        DWORD style;
        bool framesText;  // otherwise the window rectangle
    };
    for (const Row row : {Row{"left-aligned text", SS_LEFT, true}, Row{"centred text", SS_CENTER, false}}) {
        INFO(std::string(row.name));
        LinkHost host(row.style);
        CGlanceUIStatic link;
        REQUIRE(link.SubclassWindow(host.link));
        const RECT target = row.framesText ? TextOnScreen(host.link) : WindowRect(host.link);
        const RECT frame = ToClient(host.parent, Inflated(target, 1));
        const RECT region = Inflated(ToClient(host.parent, WindowRect(host.link)), 4);

        const Pixels before = Capture(host.parent, region);
        CHECK(link.DrawFocus());
        const Pixels framed = Capture(host.parent, region);
        CheckFocusFrame(Compare(before, framed, frame), frame);
        CHECK(link.DrawFocus());
        const Pixels after = Capture(host.parent, region);
        CHECK(after.bits == before.bits);
    }

    const HWND orphan =
        CreateWindowExW(0, L"Static", L"no parent", WS_POPUP, 0, 0, 80, 20, nullptr, nullptr, nullptr, nullptr);
    CGlanceUIStatic link;
    REQUIRE(link.SubclassWindow(orphan));
    CHECK_FALSE(link.DrawFocus());
    link.UnsubclassWindow();
    DestroyWindow(orphan);
}

TEST_CASE("help link: only mouse moves and button presses and releases are relayed to the hover tooltip, nothing while a tracking tip exists")
{
    ParkCursor();
    g_relayed.clear();
    CLinkDialog dialog;
    std::vector<UINT> withoutTrackingTip, withTrackingTip, afterTrackingTip, toOtherWindows;
    HWND trackingTip = nullptr;
    const auto postAll = [&](HWND target) {
        for (const UINT message : kPostedToLink) PostMessageW(target, message, 0, kMarkerPoint);
    };
    DialogScript script([&] { return dialog.Window(); });
    script
        .Then([&] {
            CHECK_MESSAGE(dialog.link.HoverTipWindow() != nullptr, "no hover tooltip");
            SetWindowSubclass(dialog.link.HoverTipWindow(), &RecordRelays, 1,
                              reinterpret_cast<DWORD_PTR>(dialog.Link()));
            postAll(dialog.Link());
        })
        .Then([&] {
            withoutTrackingTip = g_relayed;
            g_relayed.clear();
            SetFocus(dialog.Link());
            trackingTip = dialog.link.TrackingTipWindow();
            postAll(dialog.Link());
        })
        .Then([&] {
            withTrackingTip = g_relayed;
            g_relayed.clear();
            SetFocus(GetDlgItem(dialog.Window(), IDOK));
            postAll(dialog.Link());
        })
        .Then([&] {
            afterTrackingTip = g_relayed;
            g_relayed.clear();
            // Only messages addressed to the link: not those of the dialog (whose buttons a posted
            // click would press).
            postAll(dialog.Window());
        })
        .Then([&] { toOtherWindows = g_relayed; })
        .End(IDCANCEL)
        .Start();
    CHECK(dialog.DoModal() == IDCANCEL);
    CHECK(script.Finished());

    CAPTURE(Names(withoutTrackingTip));
    CHECK(withoutTrackingTip == kRelayed);
    CHECK(trackingTip != nullptr);
    CAPTURE(Names(withTrackingTip));
    CHECK(withTrackingTip.empty());
    CAPTURE(Names(afterTrackingTip));
    CHECK(afterTrackingTip == kRelayed);
    CHECK(toOtherWindows.empty());
}

TEST_CASE("help link: Tab to it draws the focus rectangle one pixel outside its text and shows the tracking tip at the text's bottom-right corner; Tab away removes both")
{
    ParkCursor();
    CLinkDialog dialog;
    RECT text{}, frame{}, region{}, tipRect{};
    Pixels before, focused, after;
    HWND link = nullptr, cancel = nullptr, tip = nullptr, focusAfterTab = nullptr, focusAfterSecondTab = nullptr;
    bool tipVisible = false, tipGone = false;
    DialogScript script([&] { return dialog.Window(); });
    script.WaitUntil([&] { return dialog.Window() != nullptr && IsWindowVisible(dialog.Window()); }, 10000,
                     "the dialog shows")
        .Then([&] {
            RedrawWindow(dialog.Window(), nullptr, nullptr,
                         RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
            CHECK(GetFocus() == GetDlgItem(dialog.Window(), IDOK));
            link = dialog.Link();
            text = TextOnScreen(link);
            frame = ToClient(dialog.Window(), Inflated(text, 1));
            region = Inflated(ToClient(dialog.Window(), WindowRect(link)), 4);
            before = Capture(dialog.Window(), region);
            PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);  // the dialog manager moves the focus
        })
        .Then([&] {
            focusAfterTab = GetFocus();
            focused = Capture(dialog.Window(), region);
            tip = dialog.link.TrackingTipWindow();
            tipVisible = tip != nullptr && IsWindowVisible(tip);
            if (tip != nullptr) tipRect = WindowRect(tip);
            PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0);
        })
        .Then([&] {
            focusAfterSecondTab = GetFocus();
            cancel = GetDlgItem(dialog.Window(), IDCANCEL);
            tipGone = dialog.link.TrackingTipWindow() == nullptr && !IsWindow(tip);
            after = Capture(dialog.Window(), region);
        })
        .End(IDCANCEL)
        .Start();
    const INT_PTR result = dialog.DoModal();
    CAPTURE(script.Failures());
    CHECK(result == IDCANCEL);
    REQUIRE(script.Finished());

    CHECK(focusAfterTab == link);
    CheckFocusFrame(Compare(before, focused, frame), frame);
    CHECK(tipVisible);
    // The tooltip control places the tip at the track point, the text's bottom-right corner; wine's
    // puts its top-left corner one pixel above and left of it.
    CAPTURE(Describe(text));
    CAPTURE(Describe(tipRect));
    CHECK(std::abs(tipRect.left - text.right) <= 1);
    CHECK(std::abs(tipRect.top - text.bottom) <= 1);

    CHECK(focusAfterSecondTab == cancel);
    CHECK(tipGone);
    CHECK(after.bits == before.bits);
}

TEST_CASE("help link: the hover tip shows its text while the mouse rests on the link; with it on screen the focus brings no tracking tip")
{
    ParkCursor();
    CLinkDialog dialog;
    std::wstring hoverText;
    bool trackingTipAfterFocus = true, focusOnLink = false;
    DialogScript script([&] { return dialog.Window(); });
    script.WaitUntil([&] { return dialog.Window() != nullptr && IsWindowVisible(dialog.Window()); }, 10000,
                     "the dialog shows")
        .Then([&] {
            // The display's own mouse move over the link, relayed like any other.
            const RECT text = TextOnScreen(dialog.Link());
            SetCursorPos((text.left + text.right) / 2, (text.top + text.bottom) / 2);
        })
        .WaitUntil([&] { return IsWindowVisible(dialog.link.HoverTipWindow()) != FALSE; }, 10000, "the hover tip shows")
        .Then([&] {
            hoverText = TipTextOf(dialog.link.HoverTipWindow(), dialog.Link(), 1);
            SetFocus(dialog.Link());  // WM_SETFOCUS is handled before SetFocus returns
            focusOnLink = GetFocus() == dialog.Link();
            trackingTipAfterFocus = dialog.link.TrackingTipWindow() != nullptr;
            ParkCursor();
        })
        .End(IDCANCEL)
        .Start();
    const INT_PTR result = dialog.DoModal();
    CAPTURE(script.Failures());
    CHECK(result == IDCANCEL);
    REQUIRE(script.Finished());
    CHECK(script.Failures().empty());
    CHECK(hoverText == kTip);
    CHECK(focusOnLink);
    CHECK_FALSE(trackingTipAfterFocus);
}

TEST_CASE("help link: both tooltips are destroyed when the link's window goes, with its parent, and when the object goes first")
{
    enum class Ends { LinkWindow, ParentWindow, Object };
    struct Row {
        const char* name;
        Ends ends;
    };
    for (const Row row : {Row{"the link's window is destroyed", Ends::LinkWindow},
                          Row{"its parent, which owns the tooltips, is destroyed", Ends::ParentWindow},
                          Row{"the object is destroyed, the window stays", Ends::Object}}) {
        INFO(std::string(row.name));
#if defined(FNKEY_HANDLE_ACCOUNTING)
        const long heldBefore = HeldHandleCount();
#endif
        LinkHost host;
        const LONG_PTR ownProcedure = GetWindowLongPtrW(host.link, GWLP_WNDPROC);
        auto link = std::make_unique<CGlanceUIStatic>();
        REQUIRE(link->SubclassWindow(host.link));
        link->SetTipText(kTip);
        REQUIRE(link->ShowTrackingTip());
        const HWND hover = link->HoverTipWindow(), tracking = link->TrackingTipWindow();
        REQUIRE(IsWindow(hover));
        REQUIRE(IsWindow(tracking));

        switch (row.ends) {
        case Ends::LinkWindow: DestroyWindow(host.link); break;
        case Ends::ParentWindow: DestroyWindow(host.parent); break;
        case Ends::Object: link.reset(); break;
        }
        CHECK_FALSE(IsWindow(hover));
        CHECK_FALSE(IsWindow(tracking));
        if (link) {
            CHECK(link->HoverTipWindow() == nullptr);
            CHECK(link->TrackingTipWindow() == nullptr);
            CHECK(link->GetSafeHwnd() == nullptr);
        } else {
            CHECK(IsWindow(host.link));
            CHECK(GetWindowLongPtrW(host.link, GWLP_WNDPROC) == ownProcedure);
        }
        link.reset();
#if defined(FNKEY_HANDLE_ACCOUNTING)
        CHECK(HeldHandleCount() == heldBefore);
#endif
    }
}

TEST_CASE("the prompt dialog's PreTranslateMessage closes the link's tracking tip on a button pressed or released outside the link, never on moves or double-clicks")
{
    CleanPromptRegistry clean;
    LinkHost host;
    CGlanceUIAppDlg dialog;
    CGlanceUIStatic& link = dialog.HelpLink();
    REQUIRE(link.SubclassWindow(host.link));
    link.SetTipText(kTip);
    const RECT rect = WindowRect(host.link);
    struct Place {
        const char* name;
        POINT pt;
        bool inside;
    };
    // PtInRect: the left and top edges belong to the link, the right and bottom ones do not.
    const Place places[] = {
        {"inside", {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, true},
        {"on its left and top edges", {rect.left, rect.top}, true},
        {"on its right edge", {rect.right, rect.top}, false},
        {"on its bottom edge", {rect.left, rect.bottom}, false},
        {"far from it", {rect.left - 40, rect.top - 40}, false},
    };
    const UINT closing[] = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_RBUTTONUP, WM_MBUTTONDOWN, WM_MBUTTONUP};
    const UINT neverClosing[] = {WM_MOUSEMOVE,   WM_LBUTTONDBLCLK, WM_RBUTTONDBLCLK, WM_MBUTTONDBLCLK, WM_XBUTTONDOWN,
                                 WM_XBUTTONUP,   WM_MOUSEWHEEL,    WM_NCLBUTTONDOWN, WM_NCLBUTTONUP,   WM_KEYDOWN};
    const auto check = [&](UINT message, const Place& place, bool closes) {
        CAPTURE(message);
        CAPTURE(place.name);
        REQUIRE(link.ShowTrackingTip());
        const HWND tip = link.TrackingTipWindow();
        for (const HWND target : {host.parent, host.link, tip}) {
            if (!link.ShowTrackingTip()) FAIL("no tracking tip");
            MSG message_{target, message, 0, 0, GetTickCount(), place.pt};
            CHECK_FALSE(dialog.PreTranslateMessage(&message_));
            CHECK((link.TrackingTipWindow() == nullptr) == closes);
        }
    };
    for (const Place& place : places) {
        for (const UINT message : closing) check(message, place, !place.inside);
        for (const UINT message : neverClosing) check(message, place, false);
    }
    link.HideTrackingTip();
}

TEST_CASE("the prompt dialog's own loop: a click outside the link, also on the tip itself, closes the tracking tip; a click inside, a move or a double-click leaves it")
{
    PromptWithFnLock prompt;
    ParkCursor();
    CGlanceUIAppDlg dialog;
    enum class Target { Dialog, Link, Tip };
    enum class Where { OutsideLink, InsideLink, OnTipOutsideLink };
    struct Row {
        const char* name;
        Target target;
        Where where;
        UINT message;
        bool closes;
    };
    const Row rows[] = {
        {"left button down on the dialog", Target::Dialog, Where::OutsideLink, WM_LBUTTONDOWN, true},
        {"left button up on the dialog", Target::Dialog, Where::OutsideLink, WM_LBUTTONUP, true},
        {"right button down on the dialog", Target::Dialog, Where::OutsideLink, WM_RBUTTONDOWN, true},
        {"middle button up on the dialog", Target::Dialog, Where::OutsideLink, WM_MBUTTONUP, true},
        {"left button down on the tip", Target::Tip, Where::OnTipOutsideLink, WM_LBUTTONDOWN, true},
        {"left button down on the link", Target::Link, Where::InsideLink, WM_LBUTTONDOWN, false},
        {"right button up on the link", Target::Link, Where::InsideLink, WM_RBUTTONUP, false},
        {"a move over the dialog", Target::Dialog, Where::OutsideLink, WM_MOUSEMOVE, false},
        {"a move over the tip", Target::Tip, Where::OnTipOutsideLink, WM_MOUSEMOVE, false},
        {"a double-click on the dialog", Target::Dialog, Where::OutsideLink, WM_LBUTTONDBLCLK, false},
    };
    std::vector<int> closed(std::size(rows), -1);
    HWND window = nullptr, link = nullptr;
    DialogScript script([&] { return dialog.GetSafeHwnd(); });
    script.WaitUntil([&] { return dialog.GetSafeHwnd() != nullptr && IsWindowVisible(dialog.GetSafeHwnd()); }, 10000,
                     "the dialog shows")
        .Then([&] {
            window = dialog.GetSafeHwnd();
            link = GetDlgItem(window, IDC_HELP_LINK);
            CHECK(dialog.HelpLink().GetSafeHwnd() == link);  // bound by the dialog's initialisation
        });
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        const Row& row = rows[i];
        script
            .Then([&, i] {
                // The tip comes with the focus: give it to the link afresh.
                SetFocus(GetDlgItem(window, IDOK));
                SetFocus(link);
                const HWND tip = dialog.HelpLink().TrackingTipWindow();
                if (tip == nullptr) return;
                const RECT linkRect = WindowRect(link), tipRect = WindowRect(tip);
                POINT pt{};
                switch (row.where) {
                case Where::InsideLink:
                    pt = {(linkRect.left + linkRect.right) / 2, (linkRect.top + linkRect.bottom) / 2};
                    break;
                case Where::OutsideLink:  // the dialog's background by its top-left corner
                    pt = {3, 3};
                    ClientToScreen(window, &pt);
                    break;
                case Where::OnTipOutsideLink: pt = {tipRect.right - 2, tipRect.bottom - 2}; break;
                }
                CHECK_FALSE(PtInRect(&linkRect, pt) == (row.where != Where::InsideLink));
                SetCursorPos(pt.x, pt.y);  // a posted message carries the cursor position as its pt
                const HWND target = row.target == Target::Dialog ? window : row.target == Target::Link ? link : tip;
                POINT client = pt;
                ScreenToClient(target, &client);
                PostMessageW(target, row.message, 0, MAKELPARAM(client.x, client.y));
                closed[i] = 0;
            })
            .Then([&, i] {
                if (closed[i] == 0 && dialog.HelpLink().TrackingTipWindow() == nullptr) closed[i] = 1;
            });
    }
    script.Then([] { ParkCursor(); }).End(IDCANCEL).Start();

    const INT_PTR result = dialog.DoModal();
    CAPTURE(script.Failures());
    CHECK(result == IDCANCEL);
    REQUIRE(script.Finished());
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        INFO(std::string(rows[i].name));
        REQUIRE_MESSAGE(closed[i] != -1, "no tracking tip when the link got the focus");
        CHECK((closed[i] == 1) == rows[i].closes);
    }
    CHECK_FALSE(DecisionRecorded());
}
}
