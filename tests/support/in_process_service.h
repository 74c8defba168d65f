// The service's own ServiceMain run inside a test program, on a thread of its own, for what wine's
// service control manager cannot show: the exact sequence of status reports (a transient
// stop-pending report cannot be caught by polling from outside), session-change controls (wine
// cannot send control 14), and the handle accounting of the service's code. The service control
// manager's side is stood in for through the program's imports: RegisterServiceCtrlHandlerExW
// hands out a handle of its own and SetServiceStatus records each report; FreeLibrary is recorded
// too, so the order of the library's release and the stopped report shows. WaitForSingleObject is
// observed for the one wait that ends the start-up (ServiceMain's wait for its watcher thread).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "import_patch.h"

namespace testsvc {

class InProcessService {
public:
    // Resets the service state to what a freshly loaded service process has.
    InProcessService();
    // Stops the service if it still runs and waits for ServiceMain to return.
    ~InProcessService();
    InProcessService(const InProcessService&) = delete;
    InProcessService& operator=(const InProcessService&) = delete;

    // Runs ServiceMain on its thread.
    void Start();
    // Waits until the service runs (start-up complete: `running` set); false at the deadline or
    // when ServiceMain returned first.
    bool WaitUntilRunning(DWORD timeoutMs = 30000);
    // Waits until the start-up is over: ServiceMain has launched the indicators and waits for its
    // watcher thread (what it holds for the start-up is released by then). False at the deadline
    // or when ServiceMain returned first.
    bool WaitUntilStartupComplete(DWORD timeoutMs = 30000);
    // Waits until ServiceMain has returned.
    bool WaitUntilReturned(DWORD timeoutMs = 30000);
    // The control handler ServiceMain registered, called as the dispatcher would.
    DWORD Control(DWORD control, DWORD eventType = 0, void* eventData = nullptr);

    // What happened, in order: "RUNNING 0", "STOP_PENDING 0", "STOPPED <exit code>" for status
    // reports, "FreeLibrary MOLTEX32.DLL" when a library of that name is freed.
    std::vector<std::string> Events() const;

private:
    std::unique_ptr<ImportPatch> registerPatch_;
    std::unique_ptr<ImportPatch> statusPatch_;
    std::unique_ptr<ImportPatch> freePatch_;
    std::unique_ptr<ImportPatch> waitPatch_;
    std::thread thread_;
    HANDLE returned_ = nullptr;
};

// Resets every field of the service state to its value at load.
void ResetServiceState();

}  // namespace testsvc
