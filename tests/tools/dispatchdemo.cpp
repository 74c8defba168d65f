// dispatchdemo: presses class-01 hotkeys on a seeded machine the way the service's watcher
// dispatches them, and shows what was resolved and how each handler was started (from the
// record the recording handler leaves). The service state is set up as the service sets it at
// start; the console session is played by the terminal-services stand-in.
//
//   dispatchdemo <user|locked> <HotkeyNumber>...
//     user    a logged-on, unlocked user owns the active console
//     locked  the console shows the logon desktop (workstation locked)
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "dispatch/handler_resolution.h"
#include "host/service_state.h"
#include "host/startup_state.h"
#include "registry/driver_probe.h"
#include "registry/hotkey_sync.h"
#include "standins.h"
#include "started_processes.h"
#include "unique_handle.h"

namespace {

// The service state as the service sets it at start, from the service's own start-up code.
bool SetUpServiceState(UniqueKernelHandle* serviceToken)
{
    ServiceState& state = g_serviceState;
    DetectPlatform(&state);
    state.driverPresent = ProbeDriver();
    if (!FindProgramDirectory(state.programDir) || !CreatePrimaryToken(serviceToken)) return false;
    state.primaryToken = serviceToken->Get();
    return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        std::fwprintf(stderr, L"usage: dispatchdemo <user|locked> <HotkeyNumber>...\n");
        return 2;
    }
    const bool locked = std::wcscmp(argv[1], L"locked") == 0;
    standin::TrustedTestRoot trusted;  // the publisher's root, as a real machine trusts it
    UniqueKernelHandle serviceToken;
    if (!SetUpServiceState(&serviceToken)) {
        std::fwprintf(stderr, L"dispatchdemo: the service's start-up state could not be made\n");
        return 1;
    }
    DWORD masks[2] = {};
    SynchronizeClass01(&masks[0]);
    SynchronizeClass02(&masks[1]);

    const DWORD session = WTSGetActiveConsoleSessionId();
    standin::Session console;
    console.connectState = 0;  // WTSActive
    console.userToken = !locked;
    console.userName = L"demo";
    standin::SetSession(session, console);
    g_serviceState.noInteractiveUser = locked;
    g_serviceState.running = TRUE;

    std::wprintf(L"console session %lu: %ls\n", static_cast<unsigned long>(session),
                 locked ? L"locked (logon desktop)" : L"user logged on and unlocked");
    for (int i = 2; i < argc; ++i) {
        const DWORD number = std::wcstoul(argv[i], nullptr, 10);
        if (number < 1 || number > 32) continue;
        std::wprintf(L"\n  press HotkeyNumber %lu%ls\n", static_cast<unsigned long>(number),
                     (masks[0] >> (number - 1)) & 1 ? L"" : L" (not served: the watcher would ignore it)");
        HandlerSpec handler;
        if (!ResolveHandler(HotkeyClass::Class01, number - 1, &handler)) {
            std::wprintf(L"    resolves to nothing\n");
            continue;
        }
        std::wprintf(L"    handler      %ls\n    command line %ls\n    LockedMode   %lu\n", handler.applicationPath,
                     handler.commandLine, static_cast<unsigned long>(handler.lockedMode));
        standin::DeleteRecord(handler.applicationPath);
        const DWORD before = started::Count();
        const bool result = DispatchHotkey(HotkeyClass::Class01, number - 1);
        if (started::Count() == before) {
            std::wprintf(L"    dispatch     %ls\n", result ? L"true: press consumed (LockedMode 0), nothing started"
                                                         : L"false: refused, nothing started");
            continue;
        }
        const auto record = standin::WaitForRecord(handler.applicationPath);
        if (record.empty()) {
            std::wprintf(L"    dispatch     %ls, but the handler left no record\n", result ? L"true" : L"false");
            continue;
        }
        std::wprintf(L"    dispatch     true, the handler recorded:\n");
        for (const wchar_t* key : {L"commandLine", L"desktop", L"threadPriority"}) {
            const auto found = record.find(key);
            if (found != record.end()) std::wprintf(L"      %-15ls %ls\n", key, found->second.c_str());
        }
        standin::DeleteRecord(handler.applicationPath);
    }
    g_serviceState.running = FALSE;
    g_serviceState.primaryToken = nullptr;
    standin::ClearSessions();
    return 0;
}
