// A service under test, installed in the test prefix through wine's service control manager:
// created on construction (a leftover of the same name is removed first), and on destruction
// stopped (within a deadline), killed if it does not stop, and deleted, so that a test leaves no
// service behind whatever happened. Waits always have deadlines, and a service whose process
// ended by a crash is reported at once with the exception code, on stderr and in Problem().
//
// The prefix's wineserver must be persistent (prefix-setup starts it so): otherwise wine ends
// services a few seconds after the last ordinary program has ended.
#pragma once

#include <windows.h>

#include <string>

#include "win32_owners.h"

namespace testsvc {

class ServiceUnderTest {
public:
    // `commandLine`: the program (quoted when it holds spaces) and its arguments. `stopDeadlineMs`:
    // how long the clean-up waits for the service to stop before it kills its process.
    ServiceUnderTest(const std::wstring& name, const std::wstring& commandLine, DWORD stopDeadlineMs = 10000);
    ~ServiceUnderTest();
    ServiceUnderTest(const ServiceUnderTest&) = delete;
    ServiceUnderTest& operator=(const ServiceUnderTest&) = delete;

    const std::wstring& Name() const { return name_; }

    // StartServiceW; false with the reason in Problem().
    bool Start();
    // Waits until the service reports `state`. False at the deadline, or as soon as its process
    // has ended while another state was awaited or ended by a crash (an exception code as its exit
    // code): a crash is never a proper stop.
    bool WaitForState(DWORD state, DWORD timeoutMs = 30000);
    // Sends the stop control and waits for SERVICE_STOPPED.
    bool Stop(DWORD timeoutMs = 30000);
    // ControlService with `code`; its error (0 when it went through). *status gets the answer.
    DWORD Control(DWORD code, SERVICE_STATUS* status = nullptr);
    // The status as the service control manager reports it now.
    SERVICE_STATUS_PROCESS Status() const;
    // Ends the service's process.
    void Kill();
    // Whether the service's process has ended; its exit code in *exitCode.
    bool ProcessEnded(DWORD* exitCode) const;

    // The last failure, in words (empty when there was none).
    const std::string& Problem() const { return problem_; }

private:
    void Fail(const std::string& problem);
    // Opens the service's process once the service control manager names it.
    void WatchProcess(const SERVICE_STATUS_PROCESS& status);

    std::wstring name_;
    DWORD stopDeadlineMs_;
    UniqueServiceHandle manager_;
    UniqueServiceHandle service_;
    UniqueKernelHandle process_;
    std::string problem_;
};

// Text for a state number, for messages.
const char* StateName(DWORD state);

}  // namespace testsvc
