// Drives a dialog from inside its own modal loop, in the test's thread: steps run one after the
// other from messages posted to a helper window, so that every message a step posts (to the dialog,
// its controls or its tooltips) has been handled, hooks and all, before the next step runs. A wait
// step polls its condition until a deadline; a watchdog ends the dialog if the script does not
// finish in time. Steps use CHECK, never REQUIRE (nothing may throw through the dialog manager).
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <string>

namespace prompt_test {

class DialogScript {
public:
    // The dialog's result when the watchdog ended it.
    static constexpr INT_PTR kTimedOut = -1000;

    // `dialog` is asked for the dialog's window (null until it exists).
    explicit DialogScript(std::function<HWND()> dialog, DWORD watchdogMs = 20000);
    ~DialogScript();
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    // A step; it may post messages and add further steps (they run after those already queued).
    DialogScript& Then(std::function<void()> step);
    // Waits until `condition` holds (polled from a timer, messages keep flowing), at most
    // `timeoutMs`; a failed wait is reported under `what` and the script goes on.
    DialogScript& WaitUntil(std::function<bool()> condition, DWORD timeoutMs, std::string what);
    // Ends the dialog with `result` (::EndDialog) as the last step.
    DialogScript& End(INT_PTR result);

    // Posts the first step: call before DoModal (it runs once the modal loop runs) or from a step.
    void Start();
    // True once every step has run.
    bool Finished() const { return finished_; }
    // Waits that ran out, for the test's report.
    const std::string& Failures() const { return failures_; }

private:
    struct Step {
        std::function<bool()> run;  // false: not yet, try again
        ULONGLONG deadline;         // 0 until the step first runs
        DWORD timeoutMs;
        std::string what;
    };
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void RunNext();
    void Watchdog();

    std::function<HWND()> dialog_;
    DWORD watchdogMs_;
    HWND window_ = nullptr;
    std::deque<Step> steps_;
    ULONGLONG startedAt_ = 0;
    bool finished_ = false;
    std::string failures_;
};

}  // namespace prompt_test
