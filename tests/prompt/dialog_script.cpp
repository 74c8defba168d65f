#include "dialog_script.h"

namespace prompt_test {
namespace {
constexpr UINT kRunStep = WM_APP + 0x300;
constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT_PTR kWatchdogTimer = 2;
constexpr DWORD kRetryMs = 10;
}  // namespace

DialogScript::DialogScript(std::function<HWND()> dialog, DWORD watchdogMs)
    : dialog_(std::move(dialog)), watchdogMs_(watchdogMs)
{
    window_ = CreateWindowExW(0, L"Static", L"dialog script", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(window_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&WindowProc));
}

DialogScript::~DialogScript()
{
    DestroyWindow(window_);
    // Nothing of the script may run after it: its queued steps go with the window.
    MSG message;
    while (PeekMessageW(&message, window_, 0, 0, PM_REMOVE)) {
    }
}

DialogScript& DialogScript::Then(std::function<void()> step)
{
    steps_.push_back({[step = std::move(step)] {
                          step();
                          return true;
                      },
                      0, 0, {}});
    return *this;
}

DialogScript& DialogScript::WaitUntil(std::function<bool()> condition, DWORD timeoutMs, std::string what)
{
    steps_.push_back({std::move(condition), 0, timeoutMs, std::move(what)});
    return *this;
}

DialogScript& DialogScript::End(INT_PTR result)
{
    return Then([this, result] { ::EndDialog(dialog_(), result); });
}

void DialogScript::Start()
{
    startedAt_ = GetTickCount64();
    SetTimer(window_, kWatchdogTimer, 100, nullptr);
    PostMessageW(window_, kRunStep, 0, 0);
}

void DialogScript::RunNext()
{
    if (steps_.empty()) {
        finished_ = true;
        KillTimer(window_, kWatchdogTimer);
        return;
    }
    Step& step = steps_.front();
    if (step.deadline == 0) step.deadline = GetTickCount64() + step.timeoutMs;
    if (!step.run()) {
        if (GetTickCount64() < step.deadline) {
            SetTimer(window_, kRetryTimer, kRetryMs, nullptr);
            return;
        }
        failures_ += "timed out waiting until " + step.what + "; ";
    }
    steps_.pop_front();
    if (steps_.empty()) {
        finished_ = true;  // the last step may have ended the loop that would run another
        KillTimer(window_, kWatchdogTimer);
        return;
    }
    PostMessageW(window_, kRunStep, 0, 0);
}

void DialogScript::Watchdog()
{
    if (finished_ || GetTickCount64() - startedAt_ < watchdogMs_) return;
    KillTimer(window_, kWatchdogTimer);
    KillTimer(window_, kRetryTimer);
    steps_.clear();
    failures_ += "the script did not finish in time; ";
    const HWND dialog = dialog_();
    if (dialog != nullptr) ::EndDialog(dialog, kTimedOut);
}

LRESULT CALLBACK DialogScript::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* self = reinterpret_cast<DialogScript*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == kRunStep) {
        self->RunNext();
        return 0;
    }
    if (self != nullptr && message == WM_TIMER && wParam == kRetryTimer) {
        KillTimer(window, kRetryTimer);
        self->RunNext();
        return 0;
    }
    if (self != nullptr && message == WM_TIMER && wParam == kWatchdogTimer) {
        self->Watchdog();
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace prompt_test
