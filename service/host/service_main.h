// The service's entry point under the service control manager and its status reports.
#pragma once

#include <windows.h>

// The service's name in the service control manager's database; also the name the client
// controls.
inline constexpr const wchar_t* kServiceName = L"fnkeyd";

// Starts the service, runs it until the watcher thread has ended, and cleans up. Returns only
// after SERVICE_STOPPED was reported (see service_main.cpp for the order of every step).
void WINAPI ServiceMain(DWORD argc, LPWSTR* argv);

// Reports `currentState` with the exit code and checkpoint given; every report accepts stop and
// session-change controls and carries a wait hint of 60 s. The result of SetServiceStatus.
BOOL ReportStatus(DWORD currentState, DWORD win32ExitCode, DWORD checkPoint);

// Waits up to 2 s for terminal services to be ready ("Global\TermSrvReadyEvent"); no wait when
// the event does not exist. True only when the event was signalled in time.
BOOL WaitForTerminalServices();

inline constexpr DWORD kStatusWaitHintMs = 60000;
inline constexpr DWORD kTerminalServicesWaitMs = 2000;
