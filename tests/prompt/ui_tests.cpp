// The class-library layer: message tables walked without a window, the binding of an existing
// control, and the modal loop's order (control hook, dialog hook, keyboard handling, dispatch),
// proved with a test dialog of its own.
#include <doctest.h>

#include <iterator>
#include <string>
#include <vector>

#include "ui/ui.h"
#include "ui_probe.h"

namespace {
// --- tables without a window -------------------------------------------------------------------
std::vector<const char*> g_calls;

class CTableBase : public CWndBase {
public:
    const MessageMap* GetMessageMap() const override { return &messageMap; }

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

    static const MessageMap messageMap;

private:
    static const MessageEntry messageEntries[];
};

constinit const MessageEntry CTableBase::messageEntries[] = {
    MessageEntryOf<CTableBase, &CTableBase::OnApp1>(WM_APP + 1),
    CommandEntry<CTableBase, &CTableBase::OnCommand10>(10, BN_CLICKED),
    MessageEntryOf<CTableBase, &CTableBase::OnApp2>(WM_APP + 2),
};
constinit const MessageMap CTableBase::messageMap = {&CWndBase::messageMap, messageEntries, std::size(messageEntries)};

class CTableDerived : public CTableBase {
public:
    const MessageMap* GetMessageMap() const override { return &messageMap; }

private:
    LRESULT OnApp1Derived(WPARAM, LPARAM)
    {
        g_calls.push_back("derived WM_APP+1");
        return 11;
    }
    void OnCommand10Focus() { g_calls.push_back("derived command 10 focus"); }

    static const MessageEntry messageEntries[];
    static const MessageMap messageMap;
};

constinit const MessageEntry CTableDerived::messageEntries[] = {
    MessageEntryOf<CTableDerived, &CTableDerived::OnApp1Derived>(WM_APP + 1),
    CommandEntry<CTableDerived, &CTableDerived::OnCommand10Focus>(10, BN_SETFOCUS),
};
constinit const MessageMap CTableDerived::messageMap = {&CTableBase::messageMap, messageEntries,
                                                        std::size(messageEntries)};

// --- the test dialog ---------------------------------------------------------------------------
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

class CProbeStatic : public CWndBase {
public:
    int preSubclassCalls = 0;
    HWND windowSeenInPreSubclass = nullptr;
    LONG_PTR procSeenInPreSubclass = 0;

    const MessageMap* GetMessageMap() const override { return &messageMap; }

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
    static const MessageMap messageMap;
};

constinit const MessageEntry CProbeStatic::messageEntries[] = {
    MessageEntryOf<CProbeStatic, &CProbeStatic::OnLogged<kDispatched>>(kDispatched),
    MessageEntryOf<CProbeStatic, &CProbeStatic::OnLogged<kConsumedByControl>>(kConsumedByControl),
    MessageEntryOf<CProbeStatic, &CProbeStatic::OnLogged<kConsumedByDialog>>(kConsumedByDialog),
    MessageEntryOf<CProbeStatic, &CProbeStatic::OnLogged<WM_MOUSEMOVE>>(WM_MOUSEMOVE),
};
constinit const MessageMap CProbeStatic::messageMap = {&CWndBase::messageMap, messageEntries, std::size(messageEntries)};

class CProbeDialog : public CDialogBase {
public:
    explicit CProbeDialog(HWND owner) : CDialogBase(IDD_UI_PROBE, owner), owner_(owner) {}

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

    const MessageMap* GetMessageMap() const override { return &messageMap; }

    BOOL PreTranslateMessage(MSG* message) override
    {
        Log(Hook::Dialog, message->hwnd, message->message, message->lParam);
        // Escape on its way to the OK button: kept here, it never reaches the dialog manager.
        return message->message == kConsumedByDialog || (message->message == WM_KEYDOWN && message->wParam == VK_ESCAPE);
    }

protected:
    BOOL OnInitDialog() override
    {
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
    static const MessageMap messageMap;
};

constinit const MessageEntry CProbeDialog::messageEntries[] = {
    MessageEntryOf<CProbeDialog, &CProbeDialog::OnFinish>(kFinish),
    MessageEntryOf<CProbeDialog, &CProbeDialog::OnAnswer>(kAnswer),
    MessageEntryOf<CProbeDialog, &CProbeDialog::OnCtlColorStatic>(WM_CTLCOLORSTATIC),
};
constinit const MessageMap CProbeDialog::messageMap = {&CDialogBase::messageMap, messageEntries,
                                                       std::size(messageEntries)};

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
}  // namespace

TEST_SUITE("ui") {
TEST_CASE("message tables: the derived table first, then its base; commands match on id and code")
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
    };
    CTableDerived derived;
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        g_calls.clear();
        LRESULT result = -7;
        CHECK(derived.OnWndMsg(row.message, row.wParam, 0, &result) == row.handled);
        CHECK(result == row.result);
        REQUIRE(g_calls.size() == (row.call != nullptr ? 1u : 0u));
        if (row.call != nullptr) CHECK(std::string(g_calls[0]) == row.call);
    }

    CTableBase base;
    g_calls.clear();
    LRESULT result = 0;
    CHECK(base.OnWndMsg(WM_APP + 1, 0, 0, &result));
    CHECK(result == 1);
    CHECK_FALSE(base.OnWndMsg(WM_COMMAND, MAKEWPARAM(10, BN_SETFOCUS), 0, &result));
}

TEST_CASE("the modal loop offers each queued message to the bound control's hook, then the dialog's, before the dialog manager")
{
    g_events.clear();
    const HWND owner = CreateWindowExW(0, L"Static", L"probe owner", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr,
                                       nullptr, nullptr);
    REQUIRE(owner != nullptr);

    CProbeDialog dialog(owner);
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
    CHECK(IsWindowEnabled(owner));
    CHECK_FALSE(IsWindow(window));
    CHECK(dialog.GetSafeHwnd() == nullptr);
    CHECK(dialog.probe.GetSafeHwnd() == nullptr);
    DestroyWindow(owner);
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
}
