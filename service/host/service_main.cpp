#include "host/service_main.h"

#include <wtsapi32.h>

#include "host/control_handler.h"
#include "host/hotkey_number_section.h"
#include "host/indicator_launch.h"
#include "host/lpu_module.h"
#include "host/service_state.h"
#include "host/startup_state.h"
#include "host/watcher_control.h"
#include "registry/driver_probe.h"
#include "registry/registry_keys.h"
#include "unique_handle.h"

BOOL ReportStatus(DWORD currentState, DWORD win32ExitCode, DWORD checkPoint)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = currentState;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SESSIONCHANGE;
    status.dwWin32ExitCode = win32ExitCode;
    status.dwServiceSpecificExitCode = 0;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = kStatusWaitHintMs;
    return SetServiceStatus(g_serviceState.statusHandle, &status);
}

BOOL WaitForTerminalServices()
{
    UniqueKernelHandle ready(OpenEventW(SYNCHRONIZE, FALSE, L"Global\\TermSrvReadyEvent"));
    if (!ready) return FALSE;
    return WaitForSingleObject(ready.Get(), kTerminalServicesWaitMs) == WAIT_OBJECT_0;
}

namespace {

// The thread's last error, or `fallback` when a failed step left none.
DWORD LastErrorOr(DWORD fallback)
{
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : fallback;
}

// The start-up chain from the section to the primary token. False with the failing step's
// error code in *error.
bool PrepareServiceResources(UniqueKernelHandle* section, UniqueKernelHandle* primaryToken, DWORD* error)
{
    ServiceState& state = g_serviceState;
    if (!CreateHotkeyNumberSection(section, error)) return false;
    state.hotkeyNumberSection = section->Get();
    SetLastError(ERROR_SUCCESS);
    if (!SecureHotkeyNumberSection(kHotkeyNumberSectionName)) {
        *error = LastErrorOr(ERROR_ACCESS_DENIED);
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    if (!FindProgramDirectory(state.programDir)) {
        *error = LastErrorOr(ERROR_BAD_PATHNAME);  // a path without a backslash sets no error
        return false;
    }
    SetLastError(ERROR_SUCCESS);
    if (!CreatePrimaryToken(primaryToken)) {
        *error = LastErrorOr(ERROR_NO_TOKEN);
        return false;
    }
    state.primaryToken = primaryToken->Get();
    return true;
}

// The service's life once the watcher runs: the console's state, the indicators, and the wait
// for the watcher thread to end.
void RunUntilStopped(HANDLE watcherThread)
{
    ServiceState& state = g_serviceState;
    if (!state.stopRequested) {
        WaitForTerminalServices();  // only a delay while terminal services start
        state.consoleSessionId = WTSGetActiveConsoleSessionId();
        BOOL noInteractiveUser = TRUE;
        {
            UniqueKernelHandle userToken;
            if (WTSQueryUserToken(state.consoleSessionId, userToken.Put())) noInteractiveUser = FALSE;
        }
        state.noInteractiveUser = noInteractiveUser;
        state.running = TRUE;
        if (!noInteractiveUser) LaunchUserIndicator(state.consoleSessionId);
        LaunchLogonIndicator(state.consoleSessionId);
    }
    WaitForSingleObject(watcherThread, INFINITE);
    state.running = FALSE;
    CloseWatcher();
}

}  // namespace

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv)
{
    ServiceState& state = g_serviceState;
    state.statusHandle =
        RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : kServiceName, ServiceControlHandler, nullptr);
    DetectPlatform(&state);

    // Released in reverse order of declaration: the library last, after the stopped report.
    UniqueModule lpu;
    UniqueKernelHandle section;
    UniqueKernelHandle primaryToken;
    DWORD exitCode = ERROR_SUCCESS;

    if (!ParametersRootExists(state.isWow64, state.keyFamily)) {
        exitCode = LastErrorOr(ERROR_FILE_NOT_FOUND);
        ReportStatus(SERVICE_STOP_PENDING, 0, 0);
    } else {
        ReportStatus(SERVICE_RUNNING, 0, 0);
        lpu.Reset(LoadLpuModule(kLpuModuleName));
        state.driverPresent = ProbeDriver();
        HANDLE watcherThread = nullptr;
        if (!PrepareServiceResources(&section, &primaryToken, &exitCode) ||
            !StartWatcher(&watcherThread, &exitCode)) {
            ReportStatus(SERVICE_STOP_PENDING, 0, 0);
        } else {
            RunUntilStopped(watcherThread);
            exitCode = ERROR_SUCCESS;
        }
    }

    state.primaryToken = nullptr;
    primaryToken.Reset();
    state.hotkeyNumberSection = nullptr;
    section.Reset();
    // A failed start always carries its error: never 0, which would read as a clean stop.
    ReportStatus(SERVICE_STOPPED, exitCode, 0);
}
