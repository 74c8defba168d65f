// minisvc [--ignore-stop]: the smallest well-behaved service, for the tests of the service fixture
// (and as the baseline a real service is compared with). It reports running at once and stopped
// when asked to stop. Controls: 128 makes it crash (an access violation on the dispatcher
// thread), for the check that a crashing service under test is reported. With --ignore-stop it
// accepts the stop control but never stops, as a service that hangs would.
#include <windows.h>

#include <cwchar>

namespace {

SERVICE_STATUS_HANDLE g_status = nullptr;
HANDLE g_stop = nullptr;
bool g_ignoreStop = false;

void Report(DWORD state)
{
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    SetServiceStatus(g_status, &status);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
        if (!g_ignoreStop) SetEvent(g_stop);
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    case 128: {
        volatile int* nowhere = nullptr;
        *nowhere = 1;
        return NO_ERROR;
    }
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI ServiceMain(DWORD argc, LPWSTR* argv)
{
    g_status = RegisterServiceCtrlHandlerExW(argc > 0 ? argv[0] : L"minisvc", Handler, nullptr);
    Report(SERVICE_RUNNING);
    WaitForSingleObject(g_stop, INFINITE);
    Report(SERVICE_STOPPED);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    for (int i = 1; i < argc; ++i) g_ignoreStop = g_ignoreStop || std::wcscmp(argv[i], L"--ignore-stop") == 0;
    g_stop = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wchar_t name[] = L"minisvc";
    const SERVICE_TABLE_ENTRYW table[] = {{name, ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : static_cast<int>(GetLastError());
}
