// The real prompt dialog in this process, with odd message texts: its layout follows the text as
// measured in the dialog's font, whatever its length and its line breaks.
#include <doctest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "dialog_script.h"
#include "glance_dlg.h"
#include "prompt_test_support.h"
#include "text_extent.h"

using namespace prompt_test;

namespace {
constexpr int kMessage = 1020, kFnLockGroup = 1000, kExampleGroup = 1019, kExamplePicture = 1018;

RECT ClientRectOf(HWND dialog, int id)
{
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring TextOf(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

// Hands the message control `text` in place of the one the dialog sets. The text file cannot
// carry a line break (Windows and wine alike end a value at CR or LF), so this is how a text with
// several lines reaches the control: the layout must measure what the control holds.
class MessageTextReplacement {
public:
    explicit MessageTextReplacement(const wchar_t* text) : text_(text)
    {
        if (text_ == nullptr) return;
        instance_ = this;
        hook_ = SetWindowsHookExW(WH_CBT, &MessageTextReplacement::OnCbt, nullptr, GetCurrentThreadId());
        REQUIRE(hook_ != nullptr);
    }
    ~MessageTextReplacement()
    {
        if (hook_ != nullptr) UnhookWindowsHookEx(hook_);
        instance_ = nullptr;
    }
    MessageTextReplacement(const MessageTextReplacement&) = delete;
    MessageTextReplacement& operator=(const MessageTextReplacement&) = delete;

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wParam, LPARAM lParam)
    {
        if (code == HCBT_CREATEWND && instance_ != nullptr) {
            const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
            if ((create->style & WS_CHILD) != 0 && create->hMenu == reinterpret_cast<HMENU>(kMessage)) {
                SetWindowSubclass(reinterpret_cast<HWND>(wParam), &MessageTextReplacement::OnMessage, 1,
                                  reinterpret_cast<DWORD_PTR>(instance_->text_));
            }
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static LRESULT CALLBACK OnMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR text)
    {
        if (message == WM_SETTEXT) lParam = static_cast<LPARAM>(text);
        if (message == WM_NCDESTROY) RemoveWindowSubclass(window, &MessageTextReplacement::OnMessage, 1);
        return DefSubclassProc(window, message, wParam, lParam);
    }

    static inline MessageTextReplacement* instance_ = nullptr;
    const wchar_t* text_;
    HHOOK hook_ = nullptr;
};

// One line's height in the dialog's font.
int LineHeight(HWND dialog)
{
    const HDC dc = GetDC(dialog);
    const HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(dialog, WM_GETFONT, 0, 0)));
    RECT line{};
    DrawTextW(dc, L"X", 1, &line, DT_CALCRECT);
    SelectObject(dc, previous);
    ReleaseDC(dialog, dc);
    return line.bottom - line.top;
}

void CheckSize(const RECT& rect, int width, int height)
{
    CHECK(rect.right - rect.left == width);
    CHECK(rect.bottom - rect.top == height);
}
}  // namespace

TEST_SUITE("dialog") {
TEST_CASE("the layout follows the message text as measured: 259 characters on one line, or several lines")
{
    const std::wstring long259 = L"On-Screen " + std::wstring(249, L'W');
    const wchar_t* const lines = L"First line\r\nthe second, the longest line of them all\r\nthird\r\n\r\nfifth";
    struct Row {
        const char* name;
        const wchar_t* replacement;  // null: the text file's message reaches the control
        std::wstring shown;
        int lineCount;
        bool functions;
    };
    const Row rows[] = {
        {"259 characters without a line break, the example alone", nullptr, long259, 1, false},
        {"259 characters without a line break, seven functions", nullptr, long259, 1, true},
        {"five lines, the example alone", lines, lines, 5, false},
        {"five lines, seven functions", lines, lines, 5, true},
    };
    for (const Row& row : rows) {
        INFO(std::string(row.name));
        CleanPromptRegistry clean;
        if (row.functions) {
            testreg::SetDword(kFunctionList, L"Type2", 0x1021000);
            testreg::SetDword(kFunctionList, L"CapsLock", 1);
            testreg::SetDword(kFunctionList, L"RVL", 1);
            testreg::SetDword(kCameraParameters, L"MachineType", 1);
            testreg::SetDword(kMicParameters, L"Capability", 1);
        }
        const TextFileBesideProgram beside;
        beside.Write(L"[STRINGS]\nMESSAGE_TEXT=" + long259 + L"\n");
        const MessageTextReplacement replacement(row.replacement);
        CGlanceUIAppDlg dialog;
        REQUIRE(dialog.FunctionCount() == (row.functions ? 7 : 0));

        DialogScript script([&] { return dialog.GetSafeHwnd(); });
        script.Then([&] {
            const HWND window = dialog.GetSafeHwnd();
            const HWND messageControl = GetDlgItem(window, kMessage);
            CHECK(TextOf(messageControl) == row.shown);
            RECT text{};
            CHECK(MeasureWindowText(messageControl, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)),
                                    &text));
            CHECK(text.bottom - text.top == row.lineCount * LineHeight(window));

            const RECT message = ClientRectOf(window, kMessage);
            const RECT example = ClientRectOf(window, kExampleGroup);
            if (row.functions) {
                // The groups follow the message control, not its text.
                const RECT fnLock = ClientRectOf(window, kFnLockGroup);
                CHECK(fnLock.left == message.left);
                CHECK(fnLock.top == message.bottom + 10);
                CheckSize(example, 387, 235);
            } else {
                // The Example box as wide as the text, below it.
                CHECK(example.left == message.left);
                CHECK(example.top == message.bottom + (text.bottom - text.top) + 10);
                CheckSize(example, text.right - text.left, 235);
                CheckSize(ClientRectOf(window, kExamplePicture), text.right - text.left - 40, 195);
            }
            const RECT noThanks = ClientRectOf(window, IDNO);
            CHECK(noThanks.right == example.right);
            RECT frame{};
            GetWindowRect(window, &frame);
            CHECK(frame.right - frame.left == noThanks.right + 20 + 2 * GetSystemMetrics(SM_CXDLGFRAME));
            CHECK(frame.left == GetSystemMetrics(SM_CXSCREEN) / 2 - (noThanks.right + 10) / 2 +
                                    GetSystemMetrics(SM_CXDLGFRAME));
            CHECK(message.right - message.left == frame.right - frame.left - 10);
        }).End(IDCANCEL).Start();
        CHECK(dialog.DoModal() == IDCANCEL);
        CHECK(script.Finished());
        CAPTURE(script.Failures());
    }
}
}
