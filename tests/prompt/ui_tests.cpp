// The class-library layer: message tables and their typed entries walked without a window, "not
// handled" and the default handling, the binding of an existing control through the common
// controls' subclassing, and the modal loop (hook order, owned popups, its edge cases, a dialog
// object that goes while its window exists), proved with test dialogs of its own.
#include <doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "dialog_script.h"
#include "ui/ui.h"
#include "ui_probe.h"

using prompt_test::DialogScript;

namespace {
// --- tables without a window -------------------------------------------------------------------
std::vector<std::string> g_calls;

std::string Hex(const void* value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%p", value);
    return text;
}

class CTableBase : public CWindowClass<CTableBase, CWndBase> {
public:
    static const MessageMapOf<CTableBase> messageMap;

protected:
    LRESULT OnApp1(WPARAM, LPARAM)
    {
        g_calls.push_back("base WM_APP+1");
        return 1;
    }
    LRESULT OnApp2(WPARAM, LPARAM)
    {
        g_calls.push_back("base WM_APP+2");
        return 2;
    }
    void OnCommand10() { g_calls.push_back("base command 10 clicked"); }

private:
    static const MessageEntry messageEntries[];
};

constinit const MessageEntry CTableBase::messageEntries[] = {
    MessageEntryOf<CTableBase, &CTableBase::OnApp1>(WM_APP + 1),
    CommandEntry<CTableBase, &CTableBase::OnCommand10>(10, BN_CLICKED),
    MessageEntryOf<CTableBase, &CTableBase::OnApp2>(WM_APP + 2),
};
constinit const MessageMapOf<CTableBase> CTableBase::messageMap = MakeMessageMap<CTableBase>(messageEntries);

class CTableDerived : public CWindowClass<CTableDerived, CTableBase> {
public:
    static const MessageMapOf<CTableDerived> messageMap;

private:
    LRESULT OnApp1Derived(WPARAM, LPARAM)
    {
        g_calls.push_back("derived WM_APP+1");
        return 11;
    }
    void OnCommand10Focus() { g_calls.push_back("derived command 10 focus"); }
    LRESULT OnRange(UINT message, WPARAM, LPARAM)
    {
        g_calls.push_back("derived range " + std::to_string(message - WM_APP));
        return 20 + (message - WM_APP);
    }

    static const MessageEntry messageEntries[];
};

constinit const MessageEntry CTableDerived::messageEntries[] = {
    MessageEntryOf<CTableDerived, &CTableDerived::OnApp1Derived>(WM_APP + 1),
    CommandEntry<CTableDerived, &CTableDerived::OnCommand10Focus>(10, BN_SETFOCUS),
    MessageRangeEntry<CTableDerived, &CTableDerived::OnRange>(WM_APP + 5, WM_APP + 7),
};
constinit const MessageMapOf<CTableDerived> CTableDerived::messageMap = MakeMessageMap<CTableDerived>(messageEntries);

// A class that adds nothing still has its own (empty) table, linked to its base's.
class CTableEmpty : public CWindowClass<CTableEmpty, CTableDerived> {
public:
    static const MessageMapOf<CTableEmpty> messageMap;
};
constinit const MessageMapOf<CTableEmpty> CTableEmpty::messageMap = MakeMessageMap<CTableEmpty>();

// One handler of every typed entry, each recording what it was given.
class CTypedEntries : public CWindowClass<CTypedEntries, CWndBase> {
public:
    static const MessageMapOf<CTypedEntries> messageMap;
    HBRUSH brush = reinterpret_cast<HBRUSH>(0x4B);

private:
    HBRUSH OnCtlColor(HDC dc, HWND child, UINT type)
    {
        g_calls.push_back("ctlcolor " + Hex(dc) + " " + Hex(child) + " type " + std::to_string(type));
        return brush;
    }
    BOOL OnEraseBkgnd(HDC dc)
    {
        g_calls.push_back("erase " + Hex(dc));
        return TRUE;
    }
    void OnSetFocus(HWND previous) { g_calls.push_back("setfocus from " + Hex(previous)); }
    void OnKillFocus(HWND next) { g_calls.push_back("killfocus to " + Hex(next)); }
    void OnDestroy() { g_calls.push_back("destroy"); }
    UINT OnGetDlgCode()
    {
        g_calls.push_back("getdlgcode");
        return DLGC_WANTCHARS | DLGC_WANTARROWS;
    }

    static const MessageEntry messageEntries[];
};

constinit const MessageEntry CTypedEntries::messageEntries[] = {
    CtlColorEntry<CTypedEntries, &CTypedEntries::OnCtlColor>(),
    EraseBkgndEntry<CTypedEntries, &CTypedEntries::OnEraseBkgnd>(),
    SetFocusEntry<CTypedEntries, &CTypedEntries::OnSetFocus>(),
    KillFocusEntry<CTypedEntries, &CTypedEntries::OnKillFocus>(),
    DestroyEntry<CTypedEntries, &CTypedEntries::OnDestroy>(),
    GetDlgCodeEntry<CTypedEntries, &CTypedEntries::OnGetDlgCode>(),
};
constinit const MessageMapOf<CTypedEntries> CTypedEntries::messageMap = MakeMessageMap<CTypedEntries>(messageEntries);

// Handlers that decline, alone or around a nested message to the same object.
class CDeclining : public CWindowClass<CDeclining, CWndBase> {
public:
    static const MessageMapOf<CDeclining> messageMap;
    static constexpr UINT kDeclines = WM_APP + 10;
    static constexpr UINT kHandles = WM_APP + 11;
    static constexpr UINT kHandlesAroundDecline = WM_APP + 12;
    static constexpr UINT kDeclinesAroundHandled = WM_APP + 13;
    static constexpr UINT kDeclinesThenTakesBack = WM_APP + 14;

private:
    LRESULT OnDeclines(WPARAM, LPARAM)
    {
        SetMsgHandled(FALSE);
        return 5;
    }
    LRESULT OnHandles(WPARAM, LPARAM) { return 6; }
    LRESULT OnHandlesAroundDecline(WPARAM, LPARAM)
    {
        LRESULT inner = -1;
        CHECK_FALSE(OnWndMsg(kDeclines, 0, 0, &inner));
        return 7;
    }
    LRESULT OnDeclinesAroundHandled(WPARAM, LPARAM)
    {
        SetMsgHandled(FALSE);
        LRESULT inner = -1;
        CHECK(OnWndMsg(kHandles, 0, 0, &inner));
        return 8;
    }
    LRESULT OnDeclinesThenTakesBack(WPARAM, LPARAM)
    {
        SetMsgHandled(FALSE);
        SetMsgHandled(TRUE);
        return 9;
    }

    static const MessageEntry messageEntries[];
};

constinit const MessageEntry CDeclining::messageEntries[] = {
    MessageEntryOf<CDeclining, &CDeclining::OnDeclines>(kDeclines),
    MessageEntryOf<CDeclining, &CDeclining::OnHandles>(kHandles),
    MessageEntryOf<CDeclining, &CDeclining::OnHandlesAroundDecline>(kHandlesAroundDecline),
    MessageEntryOf<CDeclining, &CDeclining::OnDeclinesAroundHandled>(kDeclinesAroundHandled),
    MessageEntryOf<CDeclining, &CDeclining::OnDeclinesThenTakesBack>(kDeclinesThenTakesBack),
};
constinit const MessageMapOf<CDeclining> CDeclining::messageMap = MakeMessageMap<CDeclining>(messageEntries);

// --- the test dialog of the modal loop's order ---------------------------------------------------
enum class Hook { Control, Dialog, ControlTable, DialogTable };
struct Event {
    Hook hook;
    HWND window;
    UINT message;
    bool operator==(const Event&) const = default;
};
std::vector<Event> g_events;

// Marks the messages the test posts; messages from the system carry other values.
constexpr LPARAM kMarker = 0x00070003;
constexpr UINT kDispatched = WM_APP + 1;          // passes both hooks and reaches the control's table
constexpr UINT kConsumedByControl = WM_APP + 2;   // the control's hook keeps it
constexpr UINT kConsumedByDialog = WM_APP + 3;    // the dialog's hook keeps it
constexpr UINT kFinish = WM_APP + 4;              // the dialog's table ends the test
constexpr UINT kAnswer = WM_APP + 5;              // sent: its result travels through DWLP_MSGRESULT

void Log(Hook hook, HWND window, UINT message, LPARAM lParam)
{
    if (lParam == kMarker) g_events.push_back({hook, window, message});
}

class CProbeStatic : public CWindowClass<CProbeStatic, CWndBase> {
public:
    int preSubclassCalls = 0;
    HWND windowSeenInPreSubclass = nullptr;
    LONG_PTR procSeenInPreSubclass = 0;

    static const MessageMapOf<CProbeStatic> messageMap;

    BOOL PreTranslateMessage(MSG* message) override
    {
        Log(Hook::Control, message->hwnd, message->message, message->lParam);
        return message->message == kConsumedByControl;
    }

protected:
    void PreSubclassWindow() override
    {
        ++preSubclassCalls;
        windowSeenInPreSubclass = m_hWnd;
        procSeenInPreSubclass = GetWindowLongPtrW(m_hWnd, GWLP_WNDPROC);
    }

private:
    template <UINT Message>
    LRESULT OnLogged(WPARAM wParam, LPARAM lParam)
    {
        Log(Hook::ControlTable, m_hWnd, Message, lParam);
        return Default(Message, wParam, lParam);
    }

    static const MessageEntry messageEntries[];
};

constinit const MessageEntry CProbeStatic::messageEntries[] = {
    MessageEntryOf<CProbeStatic, &CProbeStatic::OnLogged<kDispatched>>(kDispatched),
    MessageEntryOf<CProbeStatic, &CProbeStatic::OnLogged<kConsumedByControl>>(kConsumedByControl),
    MessageEntryOf<CProbeStatic, &CProbeStatic::OnLogged<kConsumedByDialog>>(kConsumedByDialog),
    MessageEntryOf<CProbeStatic, &CProbeStatic::OnLogged<WM_MOUSEMOVE>>(WM_MOUSEMOVE),
};
constinit const MessageMapOf<CProbeStatic> CProbeStatic::messageMap = MakeMessageMap<CProbeStatic>(messageEntries);

class CProbeDialog : public CWindowClass<CProbeDialog, CDialogBase> {
public:
    explicit CProbeDialog(HWND owner) : CWindowClass(IDD_UI_PROBE, owner), owner_(owner) {}

    CProbeStatic probe;
    HWND dialogWindow = nullptr;
    HWND probeWindow = nullptr;
    HWND okWindow = nullptr;
    LONG_PTR originalProc = 0;
    LONG_PTR procAfterBinding = 0;
    BOOL bound = FALSE;
    BOOL secondBindingRefused = FALSE;
    std::wstring textThroughOriginalProc;
    BOOL ownerEnabledWhileOpen = TRUE;
    LRESULT answer = 0;
    LRESULT ctlColorResult = 0;

    static const MessageMapOf<CProbeDialog> messageMap;

    BOOL PreTranslateMessage(MSG* message) override
    {
        Log(Hook::Dialog, message->hwnd, message->message, message->lParam);
        // Escape on its way to the OK button: kept here, it never reaches the dialog manager.
        return message->message == kConsumedByDialog || (message->message == WM_KEYDOWN && message->wParam == VK_ESCAPE);
    }

protected:
    BOOL OnInitDialog() override
    {
        CDialogBase::OnInitDialog();
        dialogWindow = m_hWnd;
        probeWindow = GetDlgItem(m_hWnd, IDC_PROBE_STATIC);
        okWindow = GetDlgItem(m_hWnd, IDOK);
        ownerEnabledWhileOpen = IsWindowEnabled(owner_);

        originalProc = GetWindowLongPtrW(probeWindow, GWLP_WNDPROC);
        bound = probe.SubclassDlgItem(IDC_PROBE_STATIC, *this);
        procAfterBinding = GetWindowLongPtrW(probeWindow, GWLP_WNDPROC);
        CProbeStatic another;
        secondBindingRefused = !another.SubclassWindow(probeWindow);
        // Messages without a table entry go on to the control's own procedure.
        SetWindowTextW(probeWindow, L"changed");
        wchar_t text[32] = {};
        GetWindowTextW(probeWindow, text, 32);
        textThroughOriginalProc = text;

        PostMessageW(probeWindow, kDispatched, 0, kMarker);
        PostMessageW(probeWindow, kConsumedByControl, 0, kMarker);
        PostMessageW(probeWindow, kConsumedByDialog, 0, kMarker);
        PostMessageW(probeWindow, WM_MOUSEMOVE, 0, kMarker);
        PostMessageW(okWindow, WM_KEYDOWN, VK_ESCAPE, kMarker);
        PostMessageW(m_hWnd, kFinish, 0, kMarker);
        return TRUE;
    }

private:
    LRESULT OnFinish(WPARAM, LPARAM lParam)
    {
        Log(Hook::DialogTable, m_hWnd, kFinish, lParam);
        answer = SendMessageW(m_hWnd, kAnswer, 0, 0);
        ctlColorResult = SendMessageW(m_hWnd, WM_CTLCOLORSTATIC, 0, 0);
        SendMessageW(probeWindow, kDispatched, 0, kMarker);  // sent, not queued: no hook sees it
        EndDialog(42);
        return 0;
    }
    LRESULT OnAnswer(WPARAM, LPARAM) { return 4242; }
    LRESULT OnCtlColorStatic(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH)); }

    HWND owner_;
    static const MessageEntry messageEntries[];
};

constinit const MessageEntry CProbeDialog::messageEntries[] = {
    MessageEntryOf<CProbeDialog, &CProbeDialog::OnFinish>(kFinish),
    MessageEntryOf<CProbeDialog, &CProbeDialog::OnAnswer>(kAnswer),
    MessageEntryOf<CProbeDialog, &CProbeDialog::OnCtlColorStatic>(WM_CTLCOLORSTATIC),
};
constinit const MessageMapOf<CProbeDialog> CProbeDialog::messageMap = MakeMessageMap<CProbeDialog>(messageEntries);

const char* HookName(Hook hook)
{
    switch (hook) {
    case Hook::Control: return "control hook";
    case Hook::Dialog: return "dialog hook";
    case Hook::ControlTable: return "control table";
    case Hook::DialogTable: return "dialog table";
    }
    return "?";
}

std::string Describe(const std::vector<Event>& events)
{
    std::string text;
    for (const Event& e : events) text += std::string(HookName(e.hook)) + " " + std::to_string(e.message) + "; ";
    return text;
}

// An owner window for the dialogs, destroyed at the end of the test.
struct OwnerWindow {
    OwnerWindow()
        : window(CreateWindowExW(0, L"Static", L"probe owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                                 nullptr))
    {
        REQUIRE(window != nullptr);
    }
    ~OwnerWindow() { DestroyWindow(window); }
    OwnerWindow(const OwnerWindow&) = delete;
    OwnerWindow& operator=(const OwnerWindow&) = delete;
    HWND window;
};

// --- the default handling ------------------------------------------------------------------------
enum class Reply { Declines, CallsDefault, Answers };
constexpr LRESULT kOwnAnswer = 0x4000;

// Answers one message in the way `reply` says; records what Default() gave.
template <class Base>
class CReplying : public CWindowClass<CReplying<Base>, Base> {
public:
    using CWindowClass<CReplying<Base>, Base>::CWindowClass;
    static const MessageMapOf<CReplying> messageMap;
    Reply reply = Reply::Answers;
    LRESULT defaultResult = -1;

private:
    LRESULT OnMessage(WPARAM, LPARAM)
    {
        switch (reply) {
        case Reply::Declines:
            this->SetMsgHandled(FALSE);
            return kOwnAnswer;
        case Reply::CallsDefault:
            defaultResult = this->Default();
            return defaultResult;
        case Reply::Answers:
            break;
        }
        return kOwnAnswer;
    }

    static const MessageEntry messageEntries[1];
};

// WM_GETDLGCODE for a control, DM_GETDEFID for a dialog: both have answers of the control's or the
// dialog manager's own that DefWindowProcW (0) does not give.
template <class Base>
constexpr UINT kRepliedMessage = WM_GETDLGCODE;
template <>
constexpr UINT kRepliedMessage<CDialogBase> = DM_GETDEFID;

template <class Base>
constinit const MessageEntry CReplying<Base>::messageEntries[1] = {
    MessageEntryOf<CReplying<Base>, &CReplying<Base>::OnMessage>(kRepliedMessage<Base>),
};
template <class Base>
constinit const MessageMapOf<CReplying<Base>> CReplying<Base>::messageMap =
    MakeMessageMap<CReplying<Base>>(CReplying<Base>::messageEntries);

// --- a second subclass after the binding -----------------------------------------------------------
int g_laterSubclassCalls = 0;

LRESULT CALLBACK LaterSubclass(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == kDispatched) ++g_laterSubclassCalls;
    return DefSubclassProc(window, message, wParam, lParam);
}

// --- the modal loop's edge cases -------------------------------------------------------------------
enum class Ending { QuitMessage, EndInInit, MemberEndFromPosted, ApiEndFromPosted, EndFromSentByThread };
constexpr UINT kEndNow = WM_APP + 20;
constexpr UINT kEndFromThread = WM_APP + 21;

class CEndingDialog : public CWindowClass<CEndingDialog, CDialogBase> {
public:
    CEndingDialog(UINT templateId, HWND owner, Ending ending) : CWindowClass(templateId, owner), ending_(ending) {}

    static const MessageMapOf<CEndingDialog> messageMap;
    std::atomic<HWND> window = nullptr;
    bool initialised = false;
    bool shown = false;
    BOOL ownerEnabledWhileOpen = TRUE;

protected:
    BOOL OnInitDialog() override
    {
        CDialogBase::OnInitDialog();
        initialised = true;
        window = m_hWnd;
        ownerEnabledWhileOpen = IsWindowEnabled(GetWindow(m_hWnd, GW_OWNER));
        switch (ending_) {
        case Ending::QuitMessage: PostQuitMessage(77); break;
        case Ending::EndInInit: ::EndDialog(m_hWnd, 5); break;
        case Ending::MemberEndFromPosted:
        case Ending::ApiEndFromPosted: PostMessageW(m_hWnd, kEndNow, 0, 0); break;
        case Ending::EndFromSentByThread: break;
        }
        return TRUE;
    }

private:
    LRESULT OnEndNow(WPARAM, LPARAM)
    {
        if (ending_ == Ending::MemberEndFromPosted) EndDialog(6);
        else ::EndDialog(m_hWnd, 7);
        return 0;
    }
    LRESULT OnEndFromThread(WPARAM, LPARAM)
    {
        EndDialog(8);
        return 0;
    }
    LRESULT OnShowWindow(WPARAM visible, LPARAM)
    {
        if (visible) shown = true;
        SetMsgHandled(FALSE);
        return 0;
    }

    Ending ending_;
    static const MessageEntry messageEntries[];
};

constinit const MessageEntry CEndingDialog::messageEntries[] = {
    MessageEntryOf<CEndingDialog, &CEndingDialog::OnEndNow>(kEndNow),
    MessageEntryOf<CEndingDialog, &CEndingDialog::OnEndFromThread>(kEndFromThread),
    MessageEntryOf<CEndingDialog, &CEndingDialog::OnShowWindow>(WM_SHOWWINDOW),
};
constinit const MessageMapOf<CEndingDialog> CEndingDialog::messageMap = MakeMessageMap<CEndingDialog>(messageEntries);

// --- owned popups ----------------------------------------------------------------------------------
class CSeeingDialog : public CWindowClass<CSeeingDialog, CDialogBase> {
public:
    CSeeingDialog() : CWindowClass(IDD_UI_PROBE, nullptr) {}
    static const MessageMapOf<CSeeingDialog> messageMap;
    std::vector<HWND> seen;

    BOOL PreTranslateMessage(MSG* message) override
    {
        if (message->lParam == kMarker) seen.push_back(message->hwnd);
        return FALSE;
    }
};
constinit const MessageMapOf<CSeeingDialog> CSeeingDialog::messageMap = MakeMessageMap<CSeeingDialog>();

// --- a dialog object that goes while its window exists ---------------------------------------------
std::vector<std::string> g_teardown;

class CTeardownStatic : public CWindowClass<CTeardownStatic, CWndBase> {
public:
    static const MessageMapOf<CTeardownStatic> messageMap;

private:
    void OnDestroy() { g_teardown.push_back("bound control's WM_DESTROY"); }
    static const MessageEntry messageEntries[];
};
constinit const MessageEntry CTeardownStatic::messageEntries[] = {
    DestroyEntry<CTeardownStatic, &CTeardownStatic::OnDestroy>(),
};
constinit const MessageMapOf<CTeardownStatic> CTeardownStatic::messageMap =
    MakeMessageMap<CTeardownStatic>(messageEntries);

class CTeardownDialog : public CWindowClass<CTeardownDialog, CDialogBase> {
public:
    explicit CTeardownDialog(HWND owner) : CWindowClass(IDD_UI_PROBE, owner) {}
    ~CTeardownDialog() override { g_teardown.push_back("derived destructor"); }
    static const MessageMapOf<CTeardownDialog> messageMap;
    CTeardownStatic probe;

protected:
    void BindControls() override { probe.SubclassDlgItem(IDC_PROBE_STATIC, *this); }

private:
    void OnDestroy() { g_teardown.push_back("derived WM_DESTROY"); }
    LRESULT OnNcDestroy(WPARAM, LPARAM)
    {
        g_teardown.push_back("derived WM_NCDESTROY");
        return 0;
    }
    static const MessageEntry messageEntries[];
};
constinit const MessageEntry CTeardownDialog::messageEntries[] = {
    DestroyEntry<CTeardownDialog, &CTeardownDialog::OnDestroy>(),
    MessageEntryOf<CTeardownDialog, &CTeardownDialog::OnNcDestroy>(WM_NCDESTROY),
};
constinit const MessageMapOf<CTeardownDialog> CTeardownDialog::messageMap =
    MakeMessageMap<CTeardownDialog>(messageEntries);

std::string Join(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) text += item + "; ";
    return text;
}
}  // namespace

TEST_SUITE("ui") {
TEST_CASE("message tables: the derived table first, then its base; commands match on id and code; ranges")
{
    struct Row {
        const char* name;
        UINT message;
        WPARAM wParam;
        bool handled;
        LRESULT result;
        const char* call;
    };
    const Row rows[] = {
        {"derived entry hides the base's", WM_APP + 1, 0, true, 11, "derived WM_APP+1"},
        {"base entry through the link", WM_APP + 2, 0, true, 2, "base WM_APP+2"},
        {"command: id and code of the base's entry", WM_COMMAND, MAKEWPARAM(10, BN_CLICKED), true, 0,
         "base command 10 clicked"},
        {"command: same id, the derived table's code", WM_COMMAND, MAKEWPARAM(10, BN_SETFOCUS), true, 0,
         "derived command 10 focus"},
        {"command: another id", WM_COMMAND, MAKEWPARAM(11, BN_CLICKED), false, -7, nullptr},
        {"no entry", WM_APP + 3, 0, false, -7, nullptr},
        {"range: its first message", WM_APP + 5, 0, true, 25, "derived range 5"},
        {"range: its last message", WM_APP + 7, 0, true, 27, "derived range 7"},
        {"range: just before it", WM_APP + 4, 0, false, -7, nullptr},
        {"range: just after it", WM_APP + 8, 0, false, -7, nullptr},
    };
    CTableDerived derived;
    CTableEmpty empty;
    for (CWndBase* object : {static_cast<CWndBase*>(&derived), static_cast<CWndBase*>(&empty)}) {
        for (const Row& row : rows) {
            const std::string name =
                std::string(object == &derived ? "derived class: " : "class without entries: ") + row.name;
            INFO(name);
            g_calls.clear();
            LRESULT result = -7;
            CHECK(object->OnWndMsg(row.message, row.wParam, 0, &result) == row.handled);
            CHECK(result == row.result);
            REQUIRE(g_calls.size() == (row.call != nullptr ? 1u : 0u));
            if (row.call != nullptr) CHECK(g_calls[0] == row.call);
        }
    }
    CHECK(empty.GetMessageMap() == &CTableEmpty::messageMap);
    CHECK(CTableEmpty::messageMap.base == &CTableDerived::messageMap);
    CHECK(CTableDerived::messageMap.base == &CTableBase::messageMap);

    CTableBase base;
    g_calls.clear();
    LRESULT result = 0;
    CHECK(base.OnWndMsg(WM_APP + 1, 0, 0, &result));
    CHECK(result == 1);
    CHECK_FALSE(base.OnWndMsg(WM_COMMAND, MAKEWPARAM(10, BN_SETFOCUS), 0, &result));
}

TEST_CASE("typed entries: each hands its handler the message's parts and returns its answer")
{
    const HDC dc = reinterpret_cast<HDC>(0x1D);
    const HWND other = reinterpret_cast<HWND>(0x2E);
    CTypedEntries object;
    struct Row {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
        std::string call;  // empty: no entry
        LRESULT result;
    };
    std::vector<Row> rows;
    // One entry serves the seven control-colour messages, each with its control type.
    const UINT ctlColorMessages[] = {WM_CTLCOLORMSGBOX, WM_CTLCOLOREDIT,      WM_CTLCOLORLISTBOX, WM_CTLCOLORBTN,
                                     WM_CTLCOLORDLG,    WM_CTLCOLORSCROLLBAR, WM_CTLCOLORSTATIC};
    const UINT ctlTypes[] = {CTLCOLOR_MSGBOX, CTLCOLOR_EDIT,      CTLCOLOR_LISTBOX, CTLCOLOR_BTN,
                             CTLCOLOR_DLG,    CTLCOLOR_SCROLLBAR, CTLCOLOR_STATIC};
    for (std::size_t i = 0; i < std::size(ctlColorMessages); ++i) {
        rows.push_back({ctlColorMessages[i], reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(other),
                        "ctlcolor " + Hex(dc) + " " + Hex(other) + " type " + std::to_string(ctlTypes[i]),
                        reinterpret_cast<LRESULT>(object.brush)});
    }
    rows.push_back({WM_CTLCOLORMSGBOX - 1, 0, 0, "", -7});
    rows.push_back({WM_CTLCOLORSTATIC + 1, 0, 0, "", -7});
    rows.push_back({WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0, "erase " + Hex(dc), TRUE});
    rows.push_back({WM_SETFOCUS, reinterpret_cast<WPARAM>(other), 0, "setfocus from " + Hex(other), 0});
    rows.push_back({WM_KILLFOCUS, reinterpret_cast<WPARAM>(other), 0, "killfocus to " + Hex(other), 0});
    rows.push_back({WM_DESTROY, 0, 0, "destroy", 0});
    rows.push_back({WM_GETDLGCODE, VK_RETURN, 0, "getdlgcode", DLGC_WANTCHARS | DLGC_WANTARROWS});

    for (const Row& row : rows) {
        CAPTURE(row.message);
        g_calls.clear();
        LRESULT result = -7;
        CHECK(object.OnWndMsg(row.message, row.wParam, row.lParam, &result) == !row.call.empty());
        CHECK(result == row.result);
        REQUIRE(g_calls.size() == (row.call.empty() ? 0u : 1u));
        if (!row.call.empty()) CHECK(g_calls[0] == row.call);
    }
}

TEST_CASE("not handled: a handler's SetMsgHandled(FALSE) leaves the message to the default, nested messages keep their own")
{
    struct Row {
        const char* name;
        UINT message;
        bool handled;
        LRESULT result;
    };
    const Row rows[] = {
        {"declines", CDeclining::kDeclines, false, -7},
        {"handles", CDeclining::kHandles, true, 6},
        {"handles, a nested message declines", CDeclining::kHandlesAroundDecline, true, 7},
        {"declines, a nested message is handled", CDeclining::kDeclinesAroundHandled, false, -7},
        {"declines, then takes it back", CDeclining::kDeclinesThenTakesBack, true, 9},
    };
    CDeclining object;
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        LRESULT result = -7;
        CHECK(object.OnWndMsg(row.message, 0, 0, &result) == row.handled);
        CHECK(result == row.result);
    }
}

TEST_CASE("the default handling: a bound control's own procedure, the dialog manager's for a dialog, never DefWindowProcW")
{
    // What the control and the dialog manager answer themselves; DefWindowProcW answers 0.
    const HWND plain =
        CreateWindowExW(0, L"Static", L"plain", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(plain != nullptr);
    const LRESULT controlOwn = SendMessageW(plain, WM_GETDLGCODE, 0, 0);
    REQUIRE(controlOwn != 0);
    CHECK(DefWindowProcW(plain, WM_GETDLGCODE, 0, 0) == 0);
    const LRESULT dialogManagerOwn = MAKELRESULT(IDOK, DC_HASDEFID);  // the probe's OK is its default button

    struct Row {
        const char* name;
        Reply reply;
        LRESULT control;  // what a sender of the control's message gets
        LRESULT dialog;   // what a sender of the dialog's message gets
    };
    const Row rows[] = {
        {"the handler declines", Reply::Declines, controlOwn, dialogManagerOwn},
        {"the handler runs the default itself and returns its result", Reply::CallsDefault, controlOwn,
         dialogManagerOwn},
        {"the handler answers", Reply::Answers, kOwnAnswer, kOwnAnswer},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        {
            CReplying<CWndBase> control;
            control.reply = row.reply;
            REQUIRE(control.SubclassWindow(plain));
            CHECK(SendMessageW(plain, WM_GETDLGCODE, 0, 0) == row.control);
            if (row.reply == Reply::CallsDefault) CHECK(control.defaultResult == controlOwn);
        }
        {
            CReplying<CDialogBase> dialog(IDD_UI_PROBE, nullptr);
            dialog.reply = row.reply;
            LRESULT answer = -7;
            DialogScript script([&] { return dialog.GetSafeHwnd(); });
            script.Then([&] { answer = SendMessageW(dialog.GetSafeHwnd(), DM_GETDEFID, 0, 0); }).End(IDOK).Start();
            CHECK(dialog.DoModal() == IDOK);
            CHECK(script.Finished());
            CHECK(answer == row.dialog);
            if (row.reply == Reply::CallsDefault) CHECK(dialog.defaultResult == dialogManagerOwn);
        }
    }
    DestroyWindow(plain);
}

TEST_CASE("the modal loop offers each queued message to the bound control's hook, then the dialog's, before the dialog manager")
{
    g_events.clear();
    OwnerWindow owner;

    CProbeDialog dialog(owner.window);
    // 42, not IDCANCEL: the Escape key was kept by the dialog's hook before IsDialogMessage saw it.
    CHECK(dialog.DoModal() == 42);

    const HWND probe = dialog.probeWindow;
    const HWND ok = dialog.okWindow;
    const HWND window = dialog.dialogWindow;
    const std::vector<Event> expected = {
        {Hook::Control, probe, kDispatched},
        {Hook::Dialog, probe, kDispatched},
        {Hook::ControlTable, probe, kDispatched},
        {Hook::Control, probe, kConsumedByControl},
        {Hook::Control, probe, kConsumedByDialog},
        {Hook::Dialog, probe, kConsumedByDialog},
        {Hook::Control, probe, WM_MOUSEMOVE},
        {Hook::Dialog, probe, WM_MOUSEMOVE},
        {Hook::ControlTable, probe, WM_MOUSEMOVE},
        {Hook::Dialog, ok, WM_KEYDOWN},
        {Hook::Dialog, window, kFinish},
        {Hook::DialogTable, window, kFinish},
        {Hook::ControlTable, probe, kDispatched},
    };
    CAPTURE(Describe(g_events));
    CHECK(g_events == expected);

    // Binding: PreSubclassWindow once, knowing the window, while it still had its own procedure.
    CHECK(dialog.bound);
    CHECK(dialog.probe.preSubclassCalls == 1);
    CHECK(dialog.probe.windowSeenInPreSubclass == probe);
    CHECK(dialog.probe.procSeenInPreSubclass == dialog.originalProc);
    CHECK(dialog.procAfterBinding != dialog.originalProc);
    CHECK(dialog.secondBindingRefused);
    CHECK(dialog.textThroughOriginalProc == L"changed");

    // Results: DWLP_MSGRESULT for ordinary messages, the return value itself for WM_CTLCOLOR*.
    CHECK(dialog.answer == 4242);
    CHECK(dialog.ctlColorResult == reinterpret_cast<LRESULT>(GetStockObject(GRAY_BRUSH)));

    // The owner is disabled while the dialog runs; the window and the binding are gone after.
    CHECK_FALSE(dialog.ownerEnabledWhileOpen);
    CHECK(IsWindowEnabled(owner.window));
    CHECK_FALSE(IsWindow(window));
    CHECK(dialog.GetSafeHwnd() == nullptr);
    CHECK(dialog.probe.GetSafeHwnd() == nullptr);
}

TEST_CASE("the dialog's hook sees the messages of the windows it owns (its tooltips), not those of other windows")
{
    CSeeingDialog dialog;
    HWND window = nullptr, ownedPopup = nullptr, childOfPopup = nullptr, unrelated = nullptr, dialogChild = nullptr;
    DialogScript script([&] { return dialog.GetSafeHwnd(); });
    script
        .Then([&] {
            window = dialog.GetSafeHwnd();
            dialogChild = GetDlgItem(window, IDC_PROBE_STATIC);
            ownedPopup =
                CreateWindowExW(0, L"Static", L"owned", WS_POPUP, 0, 0, 20, 20, window, nullptr, nullptr, nullptr);
            childOfPopup = CreateWindowExW(0, L"Static", L"below the owned", WS_CHILD, 0, 0, 5, 5, ownedPopup, nullptr,
                                           nullptr, nullptr);
            unrelated = CreateWindowExW(0, L"Static", L"unrelated", WS_POPUP, 0, 0, 20, 20, nullptr, nullptr, nullptr,
                                        nullptr);
            for (const HWND target : {window, dialogChild, ownedPopup, childOfPopup, unrelated})
                PostMessageW(target, WM_LBUTTONDOWN, 0, kMarker);
        })
        .End(IDOK)
        .Start();
    CHECK(dialog.DoModal() == IDOK);
    CHECK(script.Finished());
    const std::vector<HWND> expected = {window, dialogChild, ownedPopup, childOfPopup};
    CHECK(dialog.seen == expected);
    CHECK(std::find(dialog.seen.begin(), dialog.seen.end(), unrelated) == dialog.seen.end());
    DestroyWindow(unrelated);
}

TEST_CASE("the modal loop's edge cases: WM_QUIT, ending during initialisation, a missing template, ending from handlers and from a sent message")
{
    struct Row {
        const char* name;
        UINT templateId;
        Ending ending;
        INT_PTR result;
        bool initialised;
    };
    const Row rows[] = {
        {"WM_QUIT: the loop ends with -1, the quit stays for the outer loop", IDD_UI_PROBE, Ending::QuitMessage, -1,
         true},
        {"::EndDialog in OnInitDialog: never shown", IDD_UI_PROBE, Ending::EndInInit, 5, true},
        {"a missing template: -1, nothing created", IDD_MISSING, Ending::EndInInit, -1, false},
        {"the member EndDialog in a handler", IDD_UI_PROBE, Ending::MemberEndFromPosted, 6, true},
        {"::EndDialog in a handler", IDD_UI_PROBE, Ending::ApiEndFromPosted, 7, true},
        {"EndDialog in the handler of a message another thread sent", IDD_UI_PROBE, Ending::EndFromSentByThread, 8,
         true},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        OwnerWindow owner;
        CEndingDialog dialog(row.templateId, owner.window, row.ending);

        // The other thread sends once the dialog exists; if the loop never wakes for it, the thread
        // closes the dialog after its deadline (IDCANCEL, not the expected result).
        const HANDLE returned = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        std::thread sender;
        if (row.ending == Ending::EndFromSentByThread) {
            sender = std::thread([&dialog, returned] {
                const ULONGLONG deadline = GetTickCount64() + 10000;
                HWND window = nullptr;
                while ((window = dialog.window) == nullptr || !IsWindowVisible(window)) {
                    if (GetTickCount64() > deadline) return;
                    Sleep(10);
                }
                SendMessageTimeoutW(window, kEndFromThread, 0, 0, SMTO_NORMAL, 10000, nullptr);
                if (WaitForSingleObject(returned, 5000) != WAIT_OBJECT_0) PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
            });
        }
        const INT_PTR result = dialog.DoModal();
        SetEvent(returned);
        if (sender.joinable()) sender.join();
        CloseHandle(returned);

        CHECK(result == row.result);
        CHECK(dialog.initialised == row.initialised);
        if (row.ending == Ending::EndInInit) CHECK_FALSE(dialog.shown);
        if (row.initialised) {
            CHECK_FALSE(dialog.ownerEnabledWhileOpen);
            CHECK_FALSE(IsWindow(dialog.window));
        }
        CHECK(dialog.GetSafeHwnd() == nullptr);
        CHECK(IsWindowEnabled(owner.window));

        MSG quit{};
        const BOOL quitQueued = PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
        CHECK(quitQueued == (row.ending == Ending::QuitMessage));
        if (quitQueued) CHECK(quit.wParam == 77);
    }
}

TEST_CASE("a dialog object destroyed while its window exists: no handler runs for the window's last messages, the loop ends")
{
    g_teardown.clear();
    OwnerWindow owner;
    // The object lives in storage that is overwritten once it is destroyed, so that anything still
    // reaching it afterwards finds garbage instead of passing by luck.
    alignas(CTeardownDialog) static unsigned char storage[sizeof(CTeardownDialog)];
    auto* dialog = new (storage) CTeardownDialog(owner.window);
    HWND window = nullptr, probe = nullptr;
    DialogScript script([&] { return window; });
    script
        .Then([&] {
            window = dialog->GetSafeHwnd();
            probe = GetDlgItem(window, IDC_PROBE_STATIC);
            CHECK(dialog->probe.GetSafeHwnd() == probe);
            dialog->~CTeardownDialog();  // from another window's handler, inside the dialog's own loop
            std::memset(storage, 0xDD, sizeof storage);
            g_teardown.push_back("destroyed");
        })
        // The loop ends with the step above, so this one never runs; if it does, the window is
        // destroyed, which ends the dialog manager's loop.
        .Then([&] {
            FAIL_CHECK("the dialog's loop went on after its object was destroyed");
            DestroyWindow(window);
        })
        .Start();
    const INT_PTR result = dialog->DoModal();  // DoModal touches nothing of the object after its loop
    CHECK(result == -1);
    CHECK_FALSE(IsWindow(window));
    CHECK(IsWindowEnabled(owner.window));
    // The derived class's handlers saw nothing of the teardown; the member control was unbound with
    // its object, before the dialog's window went.
    const std::vector<std::string> expected = {"derived destructor", "destroyed"};
    CAPTURE(Join(g_teardown));
    CHECK(g_teardown == expected);
}

TEST_CASE("a control outlives the object bound to it: its own procedure is restored")
{
    const HWND control = CreateWindowExW(0, L"Static", L"free", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(control != nullptr);
    const LONG_PTR original = GetWindowLongPtrW(control, GWLP_WNDPROC);
    g_events.clear();
    {
        CProbeStatic probe;
        REQUIRE(probe.SubclassWindow(control));
        CHECK(CWndBase::FromHandlePermanent(control) == &probe);
        SendMessageW(control, kDispatched, 0, kMarker);
        CHECK(g_events.size() == 1);
    }
    CHECK(GetWindowLongPtrW(control, GWLP_WNDPROC) == original);
    CHECK(CWndBase::FromHandlePermanent(control) == nullptr);
    SendMessageW(control, kDispatched, 0, kMarker);
    CHECK(g_events.size() == 1);

    CProbeStatic again;
    CHECK(again.SubclassWindow(control));
    CHECK(again.UnsubclassWindow() == control);
    CHECK(GetWindowLongPtrW(control, GWLP_WNDPROC) == original);
    DestroyWindow(control);
}

TEST_CASE("unbinding removes only the object's own subclass: one installed after the binding keeps working")
{
    const HWND control =
        CreateWindowExW(0, L"Static", L"chained", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(control != nullptr);
    g_events.clear();
    g_laterSubclassCalls = 0;

    CProbeStatic probe;
    REQUIRE(probe.SubclassWindow(control));
    REQUIRE(SetWindowSubclass(control, &LaterSubclass, 7, 0));
    SendMessageW(control, kDispatched, 0, kMarker);
    CHECK(g_laterSubclassCalls == 1);
    CHECK(g_events.size() == 1);

    CHECK(probe.UnsubclassWindow() == control);
    SendMessageW(control, kDispatched, 0, kMarker);
    CHECK(g_laterSubclassCalls == 2);  // still there
    CHECK(g_events.size() == 1);       // the object is out of the chain
    SetWindowTextW(control, L"still a static");
    wchar_t text[32] = {};
    GetWindowTextW(control, text, 32);
    CHECK(std::wstring(text) == L"still a static");  // the control's own procedure ends the chain

    RemoveWindowSubclass(control, &LaterSubclass, 7);
    DestroyWindow(control);
}
}
