#include "started_processes.h"

#include <stdexcept>

namespace started {

namespace {

JOBOBJECT_BASIC_ACCOUNTING_INFORMATION Accounting()
{
    // One job for the life of the program: a process cannot leave a job once it is in one.
    static HANDLE job = [] {
        // Wine starts a process of its own (explorer.exe) for the program's desktop the first time
        // the program needs that desktop's window, and it lives as long as the desktop. Started
        // from inside the job it would count as a start of the code under test and never end.
        GetDesktopWindow();
        HANDLE created = CreateJobObjectW(nullptr, nullptr);
        if (created == nullptr) throw std::runtime_error("CreateJobObjectW failed");
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (!SetInformationJobObject(created, JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
            !AssignProcessToJobObject(created, GetCurrentProcess())) {
            throw std::runtime_error("cannot put the test program into a job object");
        }
        return created;
    }();
    JOBOBJECT_BASIC_ACCOUNTING_INFORMATION info{};
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &info, sizeof info, nullptr)) {
        throw std::runtime_error("cannot read the job object's accounting");
    }
    return info;
}

}  // namespace

DWORD Count()
{
    return Accounting().TotalProcesses;
}

bool WaitUntilAllEnded(DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (Accounting().ActiveProcesses > 1) {
        if (GetTickCount64() >= deadline) return false;
        Sleep(20);
    }
    return true;
}

}  // namespace started
