#include "service_under_test.h"

#include <cstdio>
#include <stdexcept>

namespace testsvc {

namespace {

constexpr DWORD kPollMs = 20;
constexpr DWORD kGoneMs = 10000;

bool IsExceptionCode(DWORD code)
{
    return (code & 0xC0000000u) == 0xC0000000u;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

std::string Hex(DWORD value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

}  // namespace

const char* StateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
    case SERVICE_PAUSED: return "PAUSED";
    default: return "unknown state";
    }
}

ServiceUnderTest::ServiceUnderTest(const std::wstring& name, const std::wstring& commandLine, DWORD stopDeadlineMs)
    : name_(name), stopDeadlineMs_(stopDeadlineMs)
{
    manager_.Reset(OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
    if (!manager_) throw std::runtime_error("cannot open the service control manager");
    {
        UniqueServiceHandle leftover(OpenServiceW(manager_.Get(), name.c_str(), SERVICE_ALL_ACCESS));
        if (leftover) {
            SERVICE_STATUS status{};
            ControlService(leftover.Get(), SERVICE_CONTROL_STOP, &status);
            DeleteService(leftover.Get());
        }
    }
    // A deleted service lingers until every handle to it is closed: wait until the name is free.
    const ULONGLONG deadline = GetTickCount64() + kGoneMs;
    for (;;) {
        service_.Reset(CreateServiceW(manager_.Get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                      SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                      commandLine.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr));
        if (service_) break;
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_MARKED_FOR_DELETE && error != ERROR_SERVICE_EXISTS) {
            throw std::runtime_error("cannot create the service " + Narrow(name) + ": error " + std::to_string(error));
        }
        if (GetTickCount64() >= deadline) throw std::runtime_error("an earlier service " + Narrow(name) + " never went away");
        Sleep(kPollMs);
    }
}

ServiceUnderTest::~ServiceUnderTest()
{
    WatchProcess(Status());
    DWORD exitCode = 0;
    // A process that has ended needs no stop (wine's service control manager may not have noticed).
    if (Status().dwCurrentState != SERVICE_STOPPED && !ProcessEnded(&exitCode)) {
        SERVICE_STATUS answer{};
        ControlService(service_.Get(), SERVICE_CONTROL_STOP, &answer);
        const ULONGLONG deadline = GetTickCount64() + stopDeadlineMs_;
        while (Status().dwCurrentState != SERVICE_STOPPED && GetTickCount64() < deadline) Sleep(kPollMs);
        if (Status().dwCurrentState != SERVICE_STOPPED) {
            std::fprintf(stderr, "service %s did not stop within %lu ms: killed\n", Narrow(name_).c_str(),
                         static_cast<unsigned long>(stopDeadlineMs_));
            Kill();
        }
    }
    DeleteService(service_.Get());
    service_.Reset();
    // Gone for good once the service control manager lets the name go.
    const ULONGLONG deadline = GetTickCount64() + kGoneMs;
    while (GetTickCount64() < deadline) {
        UniqueServiceHandle still(OpenServiceW(manager_.Get(), name_.c_str(), SERVICE_QUERY_STATUS));
        if (!still) break;
        Sleep(kPollMs);
    }
}

void ServiceUnderTest::Fail(const std::string& problem)
{
    problem_ = "service " + Narrow(name_) + ": " + problem;
    std::fprintf(stderr, "%s\n", problem_.c_str());
}

SERVICE_STATUS_PROCESS ServiceUnderTest::Status() const
{
    SERVICE_STATUS_PROCESS status{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(service_.Get(), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&status), sizeof status,
                              &needed)) {
        status.dwCurrentState = 0;
    }
    return status;
}

void ServiceUnderTest::WatchProcess(const SERVICE_STATUS_PROCESS& status)
{
    if (process_ || status.dwProcessId == 0) return;
    process_.Reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE, FALSE,
                               status.dwProcessId));
}

bool ServiceUnderTest::ProcessEnded(DWORD* exitCode) const
{
    if (!process_ || WaitForSingleObject(process_.Get(), 0) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(process_.Get(), exitCode) != FALSE;
}

bool ServiceUnderTest::Start()
{
    problem_.clear();
    process_.Reset();
    if (!StartServiceW(service_.Get(), 0, nullptr)) {
        Fail("StartServiceW failed with error " + std::to_string(GetLastError()));
        return false;
    }
    WatchProcess(Status());
    return true;
}

bool ServiceUnderTest::WaitForState(DWORD state, DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const SERVICE_STATUS_PROCESS status = Status();
        WatchProcess(status);
        DWORD exitCode = 0;
        const bool ended = ProcessEnded(&exitCode);
        if (ended && IsExceptionCode(exitCode)) {
            Fail("its process crashed with exception " + Hex(exitCode) + " (the service reports " +
                 StateName(status.dwCurrentState) + ")");
            return false;
        }
        if (status.dwCurrentState == state) return true;
        if (ended && state != SERVICE_STOPPED) {
            Fail("its process ended with exit code " + Hex(exitCode) + " while " + StateName(state) + " was awaited");
            return false;
        }
        if (GetTickCount64() >= deadline) {
            Fail(std::string("still ") + StateName(status.dwCurrentState) + " after " + std::to_string(timeoutMs) +
                 " ms; awaited " + StateName(state));
            return false;
        }
        Sleep(kPollMs);
    }
}

bool ServiceUnderTest::Stop(DWORD timeoutMs)
{
    SERVICE_STATUS status{};
    if (!ControlService(service_.Get(), SERVICE_CONTROL_STOP, &status)) {
        const DWORD error = GetLastError();
        if (error != ERROR_SERVICE_NOT_ACTIVE) {
            Fail("the stop control failed with error " + std::to_string(error));
            return false;
        }
    }
    return WaitForState(SERVICE_STOPPED, timeoutMs);
}

DWORD ServiceUnderTest::Control(DWORD code, SERVICE_STATUS* status)
{
    SERVICE_STATUS answer{};
    const DWORD error = ControlService(service_.Get(), code, &answer) ? 0 : GetLastError();
    if (status != nullptr) *status = answer;
    return error;
}

void ServiceUnderTest::Kill()
{
    WatchProcess(Status());
    if (!process_) return;
    TerminateProcess(process_.Get(), 1);
    WaitForSingleObject(process_.Get(), kGoneMs);
}

}  // namespace testsvc
