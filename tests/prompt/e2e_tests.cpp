// GlanceUIApp.exe driven from outside on the test run's display: started as a process, found by
// its caption, given real keyboard and mouse input (SendInput) and button clicks, and judged by its
// windows, its exit and the decision value it leaves in HKEY_CURRENT_USER.
#include <doctest.h>

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "expected_template.h"
#include "prompt_test_support.h"
#include "unique_handle.h"

using namespace prompt_test;

namespace {
constexpr DWORD kStartTimeoutMs = 30000;  // generous: only to keep a broken run from hanging
constexpr DWORD kExitTimeoutMs = 30000;
constexpr DWORD kForegroundTimeoutMs = 10000;

// Handles whatever is queued for this thread, so that activation changes never wait on it.
void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
}

// Waits for `object` (or, without one, until the timeout) while pumping; true when signalled.
bool WaitPumping(HANDLE object, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const ULONGLONG now = GetTickCount64();
        const DWORD slice = static_cast<DWORD>(now >= deadline ? 0 : (deadline - now < 50 ? deadline - now : 50));
        const DWORD result = MsgWaitForMultipleObjects(object != nullptr ? 1 : 0, &object, FALSE, slice, QS_ALLINPUT);
        if (object != nullptr && result == WAIT_OBJECT_0) return true;
        Pump();
        if (GetTickCount64() >= deadline) return false;
    }
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) return false;
        WaitPumping(nullptr, 50);
    }
    return true;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[256] = {};
    GetWindowTextW(window, text, 256);
    return text;
}

// Top-level windows captioned "Glances"; with a process id only that process's visible ones.
std::vector<HWND> PromptDialogs(DWORD processId = 0)
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            if (WindowText(window) != L"Glances") return TRUE;
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (s->processId == 0 || (owner == s->processId && IsWindowVisible(window))) s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Ends every process that shows a "Glances" window, so that no test inherits another's prompt.
void EndLeftoverPrompts()
{
    for (const HWND window : PromptDialogs()) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        UniqueKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
        if (!process) continue;
        TerminateProcess(process.Get(), 1);
        WaitPumping(process.Get(), 5000);
    }
}

// A started GlanceUIApp; ended by force if a test leaves it running.
class PromptProcess {
public:
    explicit PromptProcess(const std::wstring& arguments = L"",
                           const std::wstring& program = testfiles::BinPath(L"GlanceUIApp.exe"))
    {
        std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION info{};
        const std::wstring folder = testfiles::BinDir();
        REQUIRE_MESSAGE(CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                       folder.c_str(), &startup, &info),
                        "GlanceUIApp.exe did not start");
        process_.Reset(info.hProcess);
        CloseHandle(info.hThread);
        id_ = info.dwProcessId;
    }
    ~PromptProcess()
    {
        if (WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT) {
            TerminateProcess(process_.Get(), 1);
            WaitForSingleObject(process_.Get(), 5000);
        }
    }
    PromptProcess(const PromptProcess&) = delete;
    PromptProcess& operator=(const PromptProcess&) = delete;

    DWORD Id() const { return id_; }
    bool Running() const { return WaitForSingleObject(process_.Get(), 0) == WAIT_TIMEOUT; }
    bool WaitForExit(DWORD timeoutMs = kExitTimeoutMs) const { return WaitPumping(process_.Get(), timeoutMs); }
    DWORD ExitCode() const
    {
        DWORD code = 0xDEADBEEF;
        GetExitCodeProcess(process_.Get(), &code);
        return code;
    }

    // The process's visible prompt dialog, once it shows.
    HWND WaitForDialog() const
    {
        HWND dialog = nullptr;
        WaitUntil(
            [&] {
                const std::vector<HWND> found = PromptDialogs(id_);
                dialog = found.empty() ? nullptr : found.front();
                return dialog != nullptr || !Running();
            },
            kStartTimeoutMs);
        if (dialog == nullptr && !Running()) {
            char reason[96];
            std::snprintf(reason, sizeof reason, "GlanceUIApp.exe ended with exit code 0x%08lX before showing its dialog",
                          static_cast<unsigned long>(ExitCode()));
            FAIL(reason);
        }
        REQUIRE_MESSAGE(dialog != nullptr, "no visible \"Glances\" dialog of the started process");
        return dialog;
    }

private:
    UniqueKernelHandle process_;
    DWORD id_ = 0;
};

HWND FocusOf(HWND dialog)
{
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

// Real keyboard input goes to the foreground window's focus: wait until that is `control`.
void RequireKeyboardFocus(HWND dialog, HWND control)
{
    if (GetForegroundWindow() != dialog) SetForegroundWindow(dialog);
    REQUIRE_MESSAGE(WaitUntil([&] { return GetForegroundWindow() == dialog && FocusOf(dialog) == control; },
                              kForegroundTimeoutMs),
                    "the prompt did not get the foreground with the focus where the test needs it");
}

// Presses the keys in order and releases them in reverse order.
void PressKeys(std::initializer_list<WORD> keys)
{
    std::vector<INPUT> inputs;
    for (const WORD key : keys) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        inputs.push_back(input);
    }
    for (auto key = std::rbegin(keys); key != std::rend(keys); ++key) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = *key;
        input.ki.dwFlags = KEYEVENTF_KEYUP;
        inputs.push_back(input);
    }
    REQUIRE(SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) == inputs.size());
}

// Moves the pointer to `pt` (screen coordinates) as a real mouse would, with a move message.
void MoveMouse(POINT pt)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(pt.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(pt.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    REQUIRE(SendInput(1, &input, sizeof(INPUT)) == 1);
}

// A left click where the pointer is.
void ClickLeft()
{
    INPUT inputs[2] = {};
    inputs[0].type = inputs[1].type = INPUT_MOUSE;
    inputs[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    REQUIRE(SendInput(2, inputs, sizeof(INPUT)) == 2);
}

// A button of the common controls 6 shows that the pointer is over it (hot) once it has handled a
// mouse move onto it.
bool Hot(HWND button)
{
    return (SendMessageW(button, BM_GETSTATE, 0, 0) & BST_HOT) != 0;
}

POINT Centre(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

// The visible tooltips of a process.
std::vector<HWND> VisibleTooltips(DWORD processId)
{
    struct Search {
        DWORD processId;
        std::vector<HWND> found;
    } search{processId, {}};
    EnumWindows(
        [](HWND window, LPARAM context) -> BOOL {
            auto* s = reinterpret_cast<Search*>(context);
            wchar_t name[64] = {};
            GetClassNameW(window, name, 64);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s->processId && IsWindowVisible(window) && std::wstring(name) == L"tooltips_class32")
                s->found.push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The one visible tooltip of the prompt, once it shows.
HWND WaitForTooltip(const PromptProcess& prompt)
{
    std::vector<HWND> tips;
    const bool shown = WaitUntil(
        [&] {
            tips = VisibleTooltips(prompt.Id());
            return !tips.empty();
        },
        kForegroundTimeoutMs);
    REQUIRE_MESSAGE(shown, "no tooltip of the prompt showed");
    REQUIRE(tips.size() == 1);
    return tips.front();
}

std::wstring Upper(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
    return text;
}

struct PromptRun {
    PromptRun() { EndLeftoverPrompts(); }
    ~PromptRun() { EndLeftoverPrompts(); }
    PromptRun(const PromptRun&) = delete;
    PromptRun& operator=(const PromptRun&) = delete;

    CleanPromptRegistry clean;
};
}  // namespace

TEST_SUITE("e2e") {
TEST_CASE_FIXTURE(PromptRun, "the prompt opens from its template, focus on OK, whatever its command line says")
{
    PromptProcess prompt(L"/silent --no-prompt \"an argument\"");
    const HWND dialog = prompt.WaitForDialog();
    CHECK((GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
    CHECK(WaitUntil([&] { return FocusOf(dialog) == GetDlgItem(dialog, IDOK); }, kForegroundTimeoutMs));

    // Before any layout: the 28 controls in template order, at their template rectangles. The
    // dialog units' base is read off the client area, the template's 477 x 268 units
    // (MapDialogRect works only inside the dialog's own process).
    RECT client{};
    GetClientRect(dialog, &client);
    int baseX = 0, baseY = 0;
    for (int b = 1; b < 64; ++b) {
        if (baseX == 0 && MulDiv(477, b, 4) == client.right) baseX = b;
        if (baseY == 0 && MulDiv(268, b, 8) == client.bottom) baseY = b;
    }
    CAPTURE(client.right);
    CAPTURE(client.bottom);
    REQUIRE_MESSAGE((baseX != 0 && baseY != 0), "the client area is not 477 x 268 dialog units of any font");

    HWND child = GetWindow(dialog, GW_CHILD);
    for (const ExpectedControl& expected : kExpectedControls) {
        CAPTURE(expected.id);
        REQUIRE(child != nullptr);
        CHECK(static_cast<DWORD>(GetDlgCtrlID(child)) == expected.id);
        wchar_t windowClass[64] = {};
        GetClassNameW(child, windowClass, 64);
        CHECK(Upper(windowClass) == expected.windowClass);
        CHECK(IsWindowVisible(child));
        if (expected.text[0] != L'\0') CHECK(WindowText(child) == expected.text);
        // Position and size are mapped each on its own, as the dialog manager does.
        const int left = MulDiv(expected.x, baseX, 4), top = MulDiv(expected.y, baseY, 8);
        const RECT templateRect = {left, top, left + MulDiv(expected.cx, baseX, 4), top + MulDiv(expected.cy, baseY, 8)};
        RECT placed{};
        GetWindowRect(child, &placed);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&placed), 2);
        CHECK(placed.left == templateRect.left);
        CHECK(placed.top == templateRect.top);
        CHECK(placed.right == templateRect.right);
        CHECK(placed.bottom == templateRect.bottom);
        child = GetWindow(child, GW_HWNDNEXT);
    }
    CHECK(child == nullptr);

    PostMessageW(dialog, WM_CLOSE, 0, 0);
    REQUIRE(prompt.WaitForExit());
    CHECK(prompt.ExitCode() == 0);
}

TEST_CASE_FIXTURE(PromptRun, "a second start brings the open prompt to the foreground and ends without a second dialog")
{
    PromptProcess first;
    const HWND dialog = first.WaitForDialog();

    // Something else in the foreground first, so that the second start has something to change.
    const HWND other = CreateWindowExW(0, L"Static", L"another program's window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                       100, 100, 300, 200, nullptr, nullptr, nullptr, nullptr);
    REQUIRE(other != nullptr);
    SetForegroundWindow(other);
    REQUIRE(WaitUntil([&] { return GetForegroundWindow() == other; }, kForegroundTimeoutMs));

    PromptProcess second(L"/again");
    REQUIRE_MESSAGE(second.WaitForExit(), "the second start did not end");
    CHECK(second.ExitCode() == 0);
    CHECK(WaitUntil([&] { return GetForegroundWindow() == dialog; }, kForegroundTimeoutMs));
    CHECK(PromptDialogs().size() == 1);
    CHECK(first.Running());
    CHECK_FALSE(DecisionRecorded());

    DestroyWindow(other);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    CHECK(first.WaitForExit());
}

TEST_CASE_FIXTURE(PromptRun, "a copy under another file name has a mutex of its own and shows a second prompt")
{
    testfiles::ScratchDir scratch;
    const std::wstring copy = scratch.Copy(testfiles::BinPath(L"GlanceUIApp.exe"), L"GlanceUIAppCopy.exe");

    {
        PromptProcess original;
        const HWND first = original.WaitForDialog();
        PromptProcess renamed(L"", copy);
        const HWND second = renamed.WaitForDialog();
        CHECK(first != second);
        CHECK(PromptDialogs().size() == 2);
        PostMessageW(first, WM_CLOSE, 0, 0);
        PostMessageW(second, WM_CLOSE, 0, 0);
        CHECK(original.WaitForExit());
        CHECK(renamed.WaitForExit());
    }
}

TEST_CASE_FIXTURE(PromptRun, "Enter records 1 and ends the prompt")
{
    PromptProcess prompt;
    const HWND dialog = prompt.WaitForDialog();
    RequireKeyboardFocus(dialog, GetDlgItem(dialog, IDOK));
    REQUIRE_FALSE(DecisionRecorded());

    PressKeys({VK_RETURN});
    REQUIRE_MESSAGE(prompt.WaitForExit(), "the prompt did not end after Enter");
    CHECK(prompt.ExitCode() == 0);
    CHECK(testreg::GetDword(kDecisionKey, L"Enable", HKEY_CURRENT_USER) == 1u);
    CHECK(PromptDialogs().empty());
}

TEST_CASE_FIXTURE(PromptRun, "\"No, thank you.\" records 0 and ends the prompt")
{
    PromptProcess prompt;
    const HWND dialog = prompt.WaitForDialog();
    const HWND noThanks = GetDlgItem(dialog, IDNO);
    REQUIRE(noThanks != nullptr);

    SUBCASE("clicked")
    {
        PostMessageW(noThanks, BM_CLICK, 0, 0);
    }
    SUBCASE("Tab moves the focus to it, then Enter")
    {
        RequireKeyboardFocus(dialog, GetDlgItem(dialog, IDOK));
        PressKeys({VK_TAB});
        RequireKeyboardFocus(dialog, noThanks);
        PressKeys({VK_RETURN});
    }
    REQUIRE_MESSAGE(prompt.WaitForExit(), "the prompt did not end");
    CHECK(prompt.ExitCode() == 0);
    CHECK(testreg::GetDword(kDecisionKey, L"Enable", HKEY_CURRENT_USER) == 0u);
}

TEST_CASE_FIXTURE(PromptRun, "Escape, Alt+F4 and the close button end the prompt and record nothing")
{
    PromptProcess prompt;
    const HWND dialog = prompt.WaitForDialog();
    RequireKeyboardFocus(dialog, GetDlgItem(dialog, IDOK));

    SUBCASE("Escape")
    {
        PressKeys({VK_ESCAPE});
    }
    SUBCASE("Alt+F4")
    {
        PressKeys({VK_MENU, VK_F4});
    }
    SUBCASE("the close button of the title bar")
    {
        PostMessageW(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    }
    REQUIRE_MESSAGE(prompt.WaitForExit(), "the prompt did not end");
    CHECK(prompt.ExitCode() == 0);
    CHECK_FALSE(DecisionRecorded());
}

TEST_CASE_FIXTURE(PromptRun, "the help link: Tab to it shows its tip by the text, Tab away or a click elsewhere closes it, Enter on it records 1")
{
    testreg::SetDword(kFunctionList, L"Type2", 0x20000);  // Fn Lock offered: the link is shown
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);
    PromptProcess prompt;
    const HWND dialog = prompt.WaitForDialog();
    const HWND ok = GetDlgItem(dialog, IDOK);
    const HWND noThanks = GetDlgItem(dialog, IDNO);
    const HWND link = GetDlgItem(dialog, 1025);
    REQUIRE(link != nullptr);
    CHECK(WindowText(link) == L"What's this?");
    RequireKeyboardFocus(dialog, ok);
    CHECK(VisibleTooltips(prompt.Id()).empty());

    // Tab, Tab: OK, "No, thank you.", the link, whose tracking tip shows at once.
    PressKeys({VK_TAB});
    RequireKeyboardFocus(dialog, noThanks);
    PressKeys({VK_TAB});
    RequireKeyboardFocus(dialog, link);
    HWND tip = WaitForTooltip(prompt);
    CHECK(GetWindow(tip, GW_OWNER) == dialog);
    // At the bottom-right corner of the link's text, which starts at the link's top-left corner and
    // is narrower and lower than the control (prompt.ui measures the corner exactly).
    RECT linkRect{}, tipRect{};
    GetWindowRect(link, &linkRect);
    GetWindowRect(tip, &tipRect);
    CAPTURE(linkRect.left);
    CAPTURE(linkRect.top);
    CAPTURE(linkRect.right);
    CAPTURE(linkRect.bottom);
    CAPTURE(tipRect.left);
    CAPTURE(tipRect.top);
    CHECK(tipRect.left > linkRect.left + 10);
    CHECK(tipRect.left <= linkRect.right);
    CHECK(tipRect.top > linkRect.top + 5);
    CHECK(tipRect.top <= linkRect.bottom);

    // Tab away: the tip goes with the focus.
    PressKeys({VK_TAB});
    RequireKeyboardFocus(dialog, ok);
    CHECK(WaitUntil([&] { return !IsWindow(tip); }, kForegroundTimeoutMs));
    PressKeys({VK_SHIFT, VK_TAB});
    RequireKeyboardFocus(dialog, link);
    tip = WaitForTooltip(prompt);

    // A move over the "No, thank you." button does not close the tip. The button lights up once
    // it has seen the move, which proves the prompt handled it.
    MoveMouse(Centre(noThanks));
    REQUIRE_MESSAGE(WaitUntil([&] { return Hot(noThanks); }, kForegroundTimeoutMs),
                    "the button did not show the pointer over it");
    CHECK(IsWindowVisible(tip));

    // A click inside the link leaves it; moving back onto the button afterwards proves the click
    // was handled (input is handled in order).
    MoveMouse(Centre(link));
    REQUIRE(WaitUntil([&] { return !Hot(noThanks); }, kForegroundTimeoutMs));
    ClickLeft();
    MoveMouse(Centre(noThanks));
    REQUIRE(WaitUntil([&] { return Hot(noThanks); }, kForegroundTimeoutMs));
    CHECK(IsWindowVisible(tip));
    CHECK(FocusOf(dialog) == link);

    // A click on the dialog's background, outside the link, closes it; the focus stays.
    POINT background = {3, 3};
    ClientToScreen(dialog, &background);
    MoveMouse(background);
    ClickLeft();
    CHECK(WaitUntil([&] { return !IsWindow(tip); }, kForegroundTimeoutMs));
    CHECK(FocusOf(dialog) == link);

    // Enter on the link presses the default button.
    REQUIRE_FALSE(DecisionRecorded());
    PressKeys({VK_RETURN});
    REQUIRE_MESSAGE(prompt.WaitForExit(), "the prompt did not end after Enter");
    CHECK(prompt.ExitCode() == 0);
    CHECK(testreg::GetDword(kDecisionKey, L"Enable", HKEY_CURRENT_USER) == 1u);
}
}
