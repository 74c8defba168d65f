// GlanceUIApp.exe driven from outside on the test run's display: started as a process, found by
// its caption, given real keyboard and mouse input (SendInput) and button clicks, and judged by its
// windows, its exit and the decision value it leaves in HKEY_CURRENT_USER.
#include <doctest.h>

#include <windows.h>
#include <shlwapi.h>

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <cwctype>
#include <string>
#include <vector>

#include "hostile_values.h"
#include "prompt_text.h"
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


// --- the layout, seen from outside ---------------------------------------------------------

// The machine's functions, in the order the prompt offers them, and how a source offers each.
void OfferFunctions(int count)
{
    DWORD type2 = 0;
    if (count > 0) type2 |= 0x20000;    // Fn Lock
    if (count > 1) type2 |= 0x1000000;  // Touchpad
    if (count > 2) type2 |= 0x1000;     // Num Lock
    testreg::SetDword(kFunctionList, L"Type2", type2);
    if (count > 3) testreg::SetDword(kFunctionList, L"CapsLock", 1);
    if (count > 4) testreg::SetDword(kFunctionList, L"RVL", 1);
    if (count > 5) testreg::SetDword(kCameraParameters, L"MachineType", 1);
    if (count > 6) testreg::SetDword(kMicParameters, L"Capability", 1);
}

struct LayoutCase {
    const char* name;
    void (*seed)();
    int functions;  // laid out as function groups; 0: the example alone
    const wchar_t* labels[7];
};

const LayoutCase kLayoutCases[] = {
    {"no source at all: the example alone", [] {}, 0, {}},
    {"a source, nothing offered: the example alone", [] { OfferFunctions(0); }, 0, {}},
    {"Caps Lock alone, which is no source: the example alone", [] { testreg::SetDword(kFunctionList, L"CapsLock", 1); },
     0, {}},
    {"1 function", [] { OfferFunctions(1); }, 1, {L"Fn Lock"}},
    {"2 functions", [] { OfferFunctions(2); }, 2, {L"Fn Lock", L"Touchpad"}},
    {"3 functions", [] { OfferFunctions(3); }, 3, {L"Fn Lock", L"Touchpad", L"Num Lock"}},
    {"4 functions", [] { OfferFunctions(4); }, 4, {L"Fn Lock", L"Touchpad", L"Num Lock", L"Caps Lock"}},
    {"5 functions", [] { OfferFunctions(5); }, 5, {L"Fn Lock", L"Touchpad", L"Num Lock", L"Caps Lock", L"RVL"}},
    {"6 functions", [] { OfferFunctions(6); }, 6,
     {L"Fn Lock", L"Touchpad", L"Num Lock", L"Caps Lock", L"RVL", L"Camera"}},
    {"7 functions", [] { OfferFunctions(7); }, 7,
     {L"Fn Lock", L"Touchpad", L"Num Lock", L"Caps Lock", L"RVL", L"Camera", L"Microphone"}},
    {"values of other types and sizes: read by their first bytes, never by type, none longer than 4 bytes",
     [] {
         const BYTE fnLock[] = {0x00, 0x00, 0x02, 0x00}, one[] = {1}, eight[] = {1, 0, 0, 0, 0, 0, 0, 0};
         testreg::SetRaw(kFunctionList, L"Type2", REG_BINARY, fnLock, sizeof fnLock);
         testreg::SetRaw(kFunctionList, L"CapsLock", REG_QWORD, eight, sizeof eight);
         testreg::SetRaw(kFunctionList, L"RVL", REG_BINARY, one, sizeof one);
         testreg::SetRaw(kCameraParameters, L"MachineType", REG_SZ, reinterpret_cast<const BYTE*>(L"1"), 4);
         testreg::SetRaw(kMicParameters, L"Capability", REG_BINARY, one, 0);
     },
     2,
     {L"Fn Lock", L"RVL"}},
};

// Group box, top picture, bottom picture of each slot, written out with numbers.
constexpr int kSlots[7][3] = {{1000, 1002, 1003}, {1014, 1012, 1013}, {1001, 1004, 1005}, {1015, 1017, 1016},
                              {1008, 1006, 1007}, {1009, 1011, 1010}, {1021, 1023, 1024}};

RECT ClientRectOf(HWND dialog, int id)
{
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool Visible(HWND dialog, int id)
{
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

std::string Text(const RECT& r)
{
    char text[64];
    std::snprintf(text, sizeof text, "(%ld, %ld, %ld, %ld)", static_cast<long>(r.left), static_cast<long>(r.top),
                  static_cast<long>(r.right), static_cast<long>(r.bottom));
    return text;
}

void CheckRect(const char* what, const RECT& actual, int left, int top, int width, int height)
{
    INFO(what << " is " << Text(actual));
    CHECK(actual.left == left);
    CHECK(actual.top == top);
    CHECK(actual.right - actual.left == width);
    CHECK(actual.bottom - actual.top == height);
}

// The arrangement the prompt's users see: every group box 120 x 235, 130 px apart in a row and 245
// px between rows, starting 10 px below the message at its left edge; the shorter second row of 5
// and 7 shifted 60 px; the Example box beside the (longer) first row; the buttons 100 x 25 below,
// right-aligned with it; the dialog fitted around them and the message 10 px narrower than it.
void CheckLayout(HWND dialog, const LayoutCase& row)
{
    const RECT message = ClientRectOf(dialog, 1020);
    const int X = message.left, Y = message.bottom + 10;
    const int n = row.functions;
    RECT window{};
    GetWindowRect(dialog, &window);
    CHECK(message.right - message.left == (window.right - window.left) - 10);
    wchar_t expectedMessage[kPromptTextChars] = {};
    if (!ReadLocalizedString(kMessageTextKey, expectedMessage, testfiles::BinPath(L"GlanceUIApp.ini").c_str(),
                             GetUserDefaultUILanguage(), kPromptTextChars)) {
        StrCpyNW(expectedMessage, kDefaultMessageText, kPromptTextChars);
    }
    CHECK(WindowText(GetDlgItem(dialog, 1020)) == expectedMessage);

    const int secondRowStart = n == 7 ? 4 : (n >= 5 ? 3 : 7);
    const int shift = (n == 5 || n == 7) ? 60 : 0;
    int captionOffset = -1;
    for (int slot = 0; slot < 7; ++slot) {
        CAPTURE(slot);
        const bool shown = slot < n;
        CHECK(Visible(dialog, kSlots[slot][0]) == shown);
        CHECK(Visible(dialog, kSlots[slot][1]) == shown);
        CHECK(Visible(dialog, kSlots[slot][2]) == shown);
        if (!shown) continue;
        const int rowIndex = slot < secondRowStart ? 0 : 1;
        const int column = rowIndex == 0 ? slot : slot - secondRowStart;
        const int left = X + (rowIndex == 1 ? shift : 0) + 130 * column, top = Y + 245 * rowIndex;
        CheckRect("the group box", ClientRectOf(dialog, kSlots[slot][0]), left, top, 120, 235);
        CHECK(WindowText(GetDlgItem(dialog, kSlots[slot][0])) == row.labels[slot]);
        const RECT topPicture = ClientRectOf(dialog, kSlots[slot][1]);
        // 22 px and one caption line below the box's top: the same line for every box.
        if (captionOffset < 0) captionOffset = topPicture.top - top;
        CHECK(captionOffset > 22);
        CHECK(captionOffset < 22 + 40);
        CheckRect("the top picture", topPicture, left + 22, top + captionOffset, 75, 70);
        CheckRect("the bottom picture", ClientRectOf(dialog, kSlots[slot][2]), left + 22, top + 121, 75, 70);
    }

    const RECT example = ClientRectOf(dialog, 1019);
    const RECT noThanks = ClientRectOf(dialog, IDNO);
    if (n > 0) {
        const int exampleLeft = X + 130 * (n == 7 ? 4 : (n >= 5 ? 3 : n));
        CheckRect("the Example box", example, exampleLeft, n >= 5 ? Y + 127 : Y, 387, 235);
        CheckRect("the No button", noThanks, example.right - 100, n >= 5 ? Y + 490 : Y + 245, 100, 25);
        CheckRect("the OK button", ClientRectOf(dialog, IDOK), example.right - 210, noThanks.top, 100, 25);
    } else {
        // Below the message, as wide as its text; the buttons 20 px apart.
        CHECK(example.top > message.bottom);
        CHECK(example.left == message.left);
        CHECK(example.bottom - example.top == 235);
        CheckRect("the No button", noThanks, example.right - 100, example.bottom + 10, 100, 25);
        CheckRect("the OK button", ClientRectOf(dialog, IDOK), example.right - 220, noThanks.top, 100, 25);
    }
    CheckRect("the example picture", ClientRectOf(dialog, 1018), example.left + 20, example.top + 20,
              example.right - example.left - 40, 195);

    // The help link and its icon stand in the Fn Lock box, which is slot 0 when it is offered;
    // without it they stay hidden.
    const bool fnLock = n > 0 && std::wstring(row.labels[0]) == L"Fn Lock";
    CHECK(Visible(dialog, 1025) == fnLock);
    CHECK(Visible(dialog, 1026) == fnLock);
    if (fnLock) {
        const RECT fnLock = ClientRectOf(dialog, kSlots[0][0]);
        const RECT icon = ClientRectOf(dialog, 1026);
        CheckRect("the help icon", icon, fnLock.left + 10, fnLock.bottom - 26, 16, 16);
        const RECT link = ClientRectOf(dialog, 1025);
        CHECK(link.left == icon.right);
        CHECK(link.top == icon.top);
        CHECK(link.bottom == icon.bottom);
        CHECK(link.right - link.left > 20);  // as wide as "What's this?" in the dialog's font
        CHECK(WindowText(GetDlgItem(dialog, 1025)) == L"What's this?");
    }

    // The dialog fitted around the No button (frame and caption from the system's metrics).
    const int frameX = GetSystemMetrics(SM_CXDLGFRAME), frameY = GetSystemMetrics(SM_CYDLGFRAME);
    CHECK(window.right - window.left == noThanks.right + 20 + 2 * frameX);
    CHECK(window.bottom - window.top == noThanks.bottom + 20 + 2 * frameY + GetSystemMetrics(SM_CYCAPTION));
    CHECK(window.left == GetSystemMetrics(SM_CXSCREEN) / 2 - (noThanks.right + 10) / 2 + frameX);
    CHECK(window.top == GetSystemMetrics(SM_CYSCREEN) / 2 - (noThanks.top + 45) / 2 + frameY);
}

// A picture of the dialog as the screen shows it.
class Screenshot {
public:
    explicit Screenshot(HWND dialog)
    {
        GetWindowRect(dialog, &window_);
        width_ = window_.right - window_.left;
        height_ = window_.bottom - window_.top;
        pixels_.resize(static_cast<size_t>(width_) * height_);
        HDC screen = GetDC(nullptr);
        HDC memory = CreateCompatibleDC(screen);
        HBITMAP bitmap = CreateCompatibleBitmap(screen, width_, height_);
        HGDIOBJ previous = SelectObject(memory, bitmap);
        BitBlt(memory, 0, 0, width_, height_, screen, window_.left, window_.top, SRCCOPY);
        SelectObject(memory, previous);
        info_.bmiHeader.biSize = sizeof info_.bmiHeader;
        info_.bmiHeader.biWidth = width_;
        info_.bmiHeader.biHeight = -height_;  // top-down
        info_.bmiHeader.biPlanes = 1;
        info_.bmiHeader.biBitCount = 32;
        info_.bmiHeader.biCompression = BI_RGB;
        GetDIBits(memory, bitmap, 0, static_cast<UINT>(height_), pixels_.data(), &info_, DIB_RGB_COLORS);
        DeleteObject(bitmap);
        DeleteDC(memory);
        ReleaseDC(nullptr, screen);
    }

    // The share (0..1) of the pixels in `screenRect` that differ from the window colour: a
    // picture's symbols and strokes, nothing where a picture is missing.
    double Drawn(const RECT& screenRect) const
    {
        const COLORREF background = GetSysColor(COLOR_WINDOW);
        const DWORD backgroundPixel = GetRValue(background) << 16 | GetGValue(background) << 8 | GetBValue(background);
        long drawn = 0, total = 0;
        for (LONG y = screenRect.top; y < screenRect.bottom; ++y) {
            for (LONG x = screenRect.left; x < screenRect.right; ++x) {
                const LONG px = x - window_.left, py = y - window_.top;
                if (px < 0 || py < 0 || px >= width_ || py >= height_) continue;
                ++total;
                if ((pixels_[static_cast<size_t>(py) * width_ + px] & 0xFFFFFF) != backgroundPixel) ++drawn;
            }
        }
        return total == 0 ? 0.0 : static_cast<double>(drawn) / total;
    }

    void Save(const std::wstring& path) const
    {
        BITMAPFILEHEADER file{};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info_.bmiHeader;
        file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels_.size() * 4);
        if (FILE* out = _wfopen(path.c_str(), L"wb")) {
            fwrite(&file, sizeof file, 1, out);
            fwrite(&info_.bmiHeader, sizeof info_.bmiHeader, 1, out);
            // Opaque, so that viewers which honour the fourth byte show the picture.
            for (DWORD pixel : pixels_) {
                pixel |= 0xFF000000u;
                fwrite(&pixel, 4, 1, out);
            }
            fclose(out);
        }
    }

private:
    RECT window_{};
    int width_ = 0;
    int height_ = 0;
    BITMAPINFO info_{};
    std::vector<DWORD> pixels_;
};

RECT ScreenRectOf(HWND dialog, int id)
{
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    return rect;
}

// Keeps a picture of the dialog as the run's artifact (build/win64/tests/prompt/layout-<n>-<case>.bmp)
// and checks that a picture is drawn in every picture control that shows one. The dialog paints
// after it shows: the picture is taken once the example picture is on the screen.
void SaveScreenshot(HWND dialog, const LayoutCase& row)
{
    // The dialog paints its controls one after another: wait until every picture it shows is on
    // the screen (at the deadline the checks below say which is not).
    const auto pictured = [&](const Screenshot& shot) {
        if (shot.Drawn(ScreenRectOf(dialog, 1018)) <= 0.2) return false;
        for (int slot = 0; slot < row.functions; ++slot) {
            for (int picture = 1; picture <= 2; ++picture) {
                if (shot.Drawn(ScreenRectOf(dialog, kSlots[slot][picture])) <= 0.2) return false;
            }
        }
        return true;
    };
    std::unique_ptr<Screenshot> shot;
    WaitUntil(
        [&] {
            shot = std::make_unique<Screenshot>(dialog);
            return pictured(*shot);
        },
        kForegroundTimeoutMs);
    shot->Save(testfiles::BinPath(L"..\\tests\\prompt\\layout-") + std::to_wstring(row.functions) + L"-" +
               std::to_wstring(&row - kLayoutCases) + L".bmp");
    CHECK(shot->Drawn(ScreenRectOf(dialog, 1018)) > 0.2);  // the example: a desktop, mostly blue
    for (int slot = 0; slot < 7; ++slot) {
        CAPTURE(slot);
        for (int picture = 1; picture <= 2; ++picture) {
            const double drawn = shot->Drawn(ScreenRectOf(dialog, kSlots[slot][picture]));
            if (slot < row.functions) {
                CHECK(drawn > 0.2);  // a symbol on its dark square
            }
        }
    }
}

// A top-level window of this test program (class "Static", not the prompt's), destroyed with the
// object, also when a check fails.
class TestWindow {
public:
    TestWindow(const wchar_t* caption, int x)
        : window_(CreateWindowExW(0, L"Static", caption, WS_OVERLAPPEDWINDOW | WS_VISIBLE, x, x, 300, 200, nullptr,
                                  nullptr, nullptr, nullptr))
    {
        REQUIRE(window_ != nullptr);
    }
    ~TestWindow() { DestroyWindow(window_); }
    TestWindow(const TestWindow&) = delete;
    TestWindow& operator=(const TestWindow&) = delete;
    HWND Get() const { return window_; }

    // Puts it in the foreground, so that a start has something to change.
    void BringToForeground() const
    {
        SetForegroundWindow(window_);
        REQUIRE(WaitUntil([&] { return GetForegroundWindow() == window_; }, kForegroundTimeoutMs));
    }

private:
    HWND window_;
};

struct PromptRun {
    PromptRun() { EndLeftoverPrompts(); }
    ~PromptRun() { EndLeftoverPrompts(); }
    PromptRun(const PromptRun&) = delete;
    PromptRun& operator=(const PromptRun&) = delete;

    CleanPromptRegistry clean;
};
}  // namespace

TEST_SUITE("e2e") {
TEST_CASE_FIXTURE(PromptRun, "the prompt lays out the offered functions, for every count, focus on OK, whatever its command line says")
{
    for (const LayoutCase& row : kLayoutCases) {
        INFO(std::string(row.name));
        CleanPromptRegistry::Wipe();
        row.seed();
        PromptProcess prompt(L"/silent --no-prompt \"an argument\"");
        const HWND dialog = prompt.WaitForDialog();
        CHECK((GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0);
        CHECK(WaitUntil([&] { return FocusOf(dialog) == GetDlgItem(dialog, IDOK); }, kForegroundTimeoutMs));
        CheckLayout(dialog, row);
        SaveScreenshot(dialog, row);
        PostMessageW(dialog, WM_CLOSE, 0, 0);
        REQUIRE(prompt.WaitForExit());
        CHECK(prompt.ExitCode() == 0);
    }
}

TEST_CASE_FIXTURE(PromptRun, "every function source in every shape: the functions the reading rules give, and no crash")
{
    // Each source alone in one of its shapes, read into a cleared 4-byte buffer. "CapsLock" is no
    // source of its own, so its rows have "RVL" present as 0: found, but offering nothing.
    struct Source {
        const char* name;
        const wchar_t* key;
        const wchar_t* value;
        DWORD payload;  // all three Type2 bits, or 1: a value longer than 4 bytes that were read by
                        // its first bytes would offer its function
        std::vector<const wchar_t*> (*offered)(DWORD read);
    };
    const Source sources[] = {
        {"Type2", kFunctionList, L"Type2", 0x1021000,
         [](DWORD v) {
             std::vector<const wchar_t*> labels;
             if (v & 0x20000) labels.push_back(L"Fn Lock");
             if (v & 0x1000000) labels.push_back(L"Touchpad");
             if (v & 0x1000) labels.push_back(L"Num Lock");
             return labels;
         }},
        {"CapsLock", kFunctionList, L"CapsLock", 1,
         [](DWORD v) { return v == 1 ? std::vector<const wchar_t*>{L"Caps Lock"} : std::vector<const wchar_t*>{}; }},
        {"RVL", kFunctionList, L"RVL", 1,
         [](DWORD v) { return v == 1 ? std::vector<const wchar_t*>{L"RVL"} : std::vector<const wchar_t*>{}; }},
        {"MachineType", kCameraParameters, L"MachineType", 1,
         [](DWORD v) { return v == 1 ? std::vector<const wchar_t*>{L"Camera"} : std::vector<const wchar_t*>{}; }},
        {"Capability", kMicParameters, L"Capability", 1,
         [](DWORD v) { return v == 1 ? std::vector<const wchar_t*>{L"Microphone"} : std::vector<const wchar_t*>{}; }},
    };
    for (const Source& source : sources) {
        for (const hostile::Shape shape : hostile::kNumberShapes) {
            INFO("source: " << std::string(source.name));
            INFO("shape: " << std::string(hostile::Name(shape)));
            CleanPromptRegistry::Wipe();
            const bool capsLock = std::wstring(source.value) == L"CapsLock";
            if (capsLock) testreg::SetDword(kFunctionList, L"RVL", 0);
            hostile::WriteNumber(source.key, source.value, shape, source.payload);

            const auto read = hostile::NumberAsRead(shape, 0, source.payload);
            LayoutCase row{source.name, nullptr, 0, {}};
            if (read) {
                for (const wchar_t* label : source.offered(*read)) row.labels[row.functions++] = label;
            }
            PromptProcess prompt;
            const HWND dialog = prompt.WaitForDialog();
            CheckLayout(dialog, row);
            PostMessageW(dialog, WM_CLOSE, 0, 0);
            REQUIRE(prompt.WaitForExit());
            CHECK(prompt.ExitCode() == 0);
        }
    }
}

TEST_CASE_FIXTURE(PromptRun, "a second start brings the open prompt to the foreground and ends without a second dialog")
{
    PromptProcess first;
    const HWND dialog = first.WaitForDialog();

    const TestWindow other(L"another program's window", 100);
    other.BringToForeground();

    PromptProcess second(L"/again");
    REQUIRE_MESSAGE(second.WaitForExit(), "the second start did not end");
    CHECK(second.ExitCode() == 0);
    CHECK(WaitUntil([&] { return GetForegroundWindow() == dialog; }, kForegroundTimeoutMs));
    CHECK(PromptDialogs().size() == 1);
    CHECK(first.Running());
    CHECK_FALSE(DecisionRecorded());

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

TEST_CASE_FIXTURE(PromptRun, "a start that finds the mutex held ends with 0 without a window, bringing forward whatever window is captioned \"Glances\"")
{
    // The test stands in for an earlier instance by holding the program's mutex itself.
    UniqueKernelHandle mutex(CreateMutexW(nullptr, TRUE, L"GlanceUIApp"));
    REQUIRE(mutex);
    // A prompt, once shown, waits for its user: ending by itself shows that none was shown.

    SUBCASE("no window has the caption: it ends silently")
    {
        PromptProcess prompt(L"/again");
        REQUIRE_MESSAGE(prompt.WaitForExit(), "the start did not end");
        CHECK(prompt.ExitCode() == 0);
        CHECK(PromptDialogs().empty());
    }
    SUBCASE("another program's window of another class has the caption: that one comes forward")
    {
        const TestWindow glances(L"Glances", 100);
        const TestWindow other(L"another program's window", 150);
        other.BringToForeground();

        PromptProcess prompt(L"/again");
        REQUIRE_MESSAGE(prompt.WaitForExit(), "the start did not end");
        CHECK(prompt.ExitCode() == 0);
        CHECK(WaitUntil([&] { return GetForegroundWindow() == glances.Get(); }, kForegroundTimeoutMs));
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

TEST_CASE_FIXTURE(PromptRun, "the texts come from the file beside the program: the message, and the link's tip as it shows")
{
    // A copy of the program with a text file of its own, whose texts differ from the built-in ones
    // and from the shipped file's.
    testfiles::ScratchDir scratch;
    const std::wstring program = scratch.Copy(testfiles::BinPath(L"GlanceUIApp.exe"), L"GlanceUIApp.exe");
    const std::wstring message = L"Feedback on screen, from the text file beside the program:";
    const std::wstring hover = L"The hover text from the text file beside the program.";
    prompt_test::WriteUtf16File(scratch.File(L"GlanceUIApp.ini"),
                                L"[STRINGS]\nMESSAGE_TEXT=" + message + L"\nHOVER_TEXT=" + hover + L"\n");
    testreg::SetDword(kFunctionList, L"Type2", 0x20000);  // Fn Lock offered: the link is shown
    SetCursorPos(GetSystemMetrics(SM_CXSCREEN) - 1, GetSystemMetrics(SM_CYSCREEN) - 1);

    PromptProcess prompt(L"", program);
    const HWND dialog = prompt.WaitForDialog();
    CHECK(WindowText(GetDlgItem(dialog, 1020)) == message);
    RequireKeyboardFocus(dialog, GetDlgItem(dialog, IDOK));
    PressKeys({VK_TAB});
    PressKeys({VK_TAB});
    RequireKeyboardFocus(dialog, GetDlgItem(dialog, 1025));
    // The tip answers WM_GETTEXT with the text it shows (sent, so that it crosses the processes).
    const HWND tip = WaitForTooltip(prompt);
    wchar_t shown[256] = {};
    SendMessageW(tip, WM_GETTEXT, ARRAYSIZE(shown), reinterpret_cast<LPARAM>(shown));
    CHECK(std::wstring(shown) == hover);
    PostMessageW(dialog, WM_CLOSE, 0, 0);
    REQUIRE(prompt.WaitForExit());
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
