#include "in_process_service.h"

#include <cstdio>
#include <atomic>
#include <mutex>
#include <stdexcept>

#include "host/service_main.h"
#include "host/service_state.h"
#include "host/watcher_control.h"
#include "service_under_test.h"

namespace testsvc {

namespace {

std::mutex g_eventsLock;
std::vector<std::string> g_events;
LPHANDLER_FUNCTION_EX g_handler = nullptr;
ImportPatch* g_freePatch = nullptr;
ImportPatch* g_waitPatch = nullptr;
std::atomic<DWORD> g_serviceMainThread{0};
HANDLE g_startupComplete = nullptr;
const auto kFakeStatusHandle = reinterpret_cast<SERVICE_STATUS_HANDLE>(static_cast<ULONG_PTR>(0x5E7));

void Record(const std::string& event)
{
    std::lock_guard<std::mutex> lock(g_eventsLock);
    g_events.push_back(event);
}

SERVICE_STATUS_HANDLE WINAPI RegisterHandler(LPCWSTR, LPHANDLER_FUNCTION_EX handler, LPVOID)
{
    g_handler = handler;
    return kFakeStatusHandle;
}

BOOL WINAPI SetStatus(SERVICE_STATUS_HANDLE handle, LPSERVICE_STATUS status)
{
    if (handle != kFakeStatusHandle || status == nullptr) return FALSE;
    Record(std::string(StateName(status->dwCurrentState)) + " " + std::to_string(status->dwWin32ExitCode));
    return TRUE;
}

BOOL WINAPI RecordFreeLibrary(HMODULE module)
{
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(module, path, MAX_PATH);
    const std::wstring name = path;
    const std::wstring base = name.substr(name.find_last_of(L'\\') + 1);
    if (lstrcmpiW(base.c_str(), L"MOLTEX32.DLL") == 0) Record("FreeLibrary MOLTEX32.DLL");
    return g_freePatch->Original<decltype(&FreeLibrary)>()(module);
}

// ServiceMain's only unbounded wait is the one for its watcher thread, after the start-up.
DWORD WINAPI ObserveWait(HANDLE object, DWORD timeoutMs)
{
    if (timeoutMs == INFINITE && GetCurrentThreadId() == g_serviceMainThread.load()) SetEvent(g_startupComplete);
    return g_waitPatch->Original<decltype(&WaitForSingleObject)>()(object, timeoutMs);
}

}  // namespace

void ResetServiceState()
{
    ServiceState& state = g_serviceState;
    state.statusHandle = nullptr;
    state.running = FALSE;
    state.isWow64 = FALSE;
    state.keyFamily = KeyFamily::PowerManager;
    state.isWindowsXp = FALSE;
    state.isWindows7OrLater = FALSE;
    state.driverPresent = 0;
    state.programDir[0] = L'\0';
    state.primaryToken = nullptr;
    state.hotkeyNumberSection = nullptr;
    state.watcherThread = nullptr;
    state.watcherEvents[kChangeEventIndex] = nullptr;
    state.watcherEvents[kStopEventIndex] = nullptr;
    state.noInteractiveUser = FALSE;
    state.consoleSessionId = 0;
    state.watchMasks = WatchMasks{};
    state.stopRequested = FALSE;
}

InProcessService::InProcessService()
{
    ResetServiceState();
    {
        std::lock_guard<std::mutex> lock(g_eventsLock);
        g_events.clear();
    }
    g_handler = nullptr;
    registerPatch_ = std::make_unique<ImportPatch>("advapi32.dll", "RegisterServiceCtrlHandlerExW",
                                                   reinterpret_cast<const void*>(&RegisterHandler));
    statusPatch_ = std::make_unique<ImportPatch>("advapi32.dll", "SetServiceStatus", reinterpret_cast<const void*>(&SetStatus));
    freePatch_ = std::make_unique<ImportPatch>("kernel32.dll", "FreeLibrary", reinterpret_cast<const void*>(&RecordFreeLibrary));
    g_freePatch = freePatch_.get();
    returned_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    g_startupComplete = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (returned_ == nullptr || g_startupComplete == nullptr) throw std::runtime_error("CreateEventW failed");
    g_serviceMainThread = 0;
    waitPatch_ = std::make_unique<ImportPatch>("kernel32.dll", "WaitForSingleObject", reinterpret_cast<const void*>(&ObserveWait));
    g_waitPatch = waitPatch_.get();
}

InProcessService::~InProcessService()
{
    if (thread_.joinable()) {
        if (!WaitUntilReturned(0)) {
            RequestStop();
            if (!WaitUntilReturned(30000)) {
                std::fprintf(stderr, "ServiceMain did not return within 30 s of a stop\n");
                std::fflush(stderr);
                TerminateProcess(GetCurrentProcess(), 3);  // a hung service thread would hang the run
            }
        }
        thread_.join();
    }
    waitPatch_.reset();
    g_waitPatch = nullptr;
    CloseHandle(g_startupComplete);
    g_startupComplete = nullptr;
    CloseHandle(returned_);
    g_freePatch = nullptr;
    ResetServiceState();
}

void InProcessService::Start()
{
    thread_ = std::thread([this] {
        wchar_t name[] = L"fnkeyd";
        LPWSTR argv[] = {name, nullptr};
        g_serviceMainThread = GetCurrentThreadId();
        ServiceMain(1, argv);
        SetEvent(returned_);
    });
}

bool InProcessService::WaitUntilRunning(DWORD timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!g_serviceState.running) {
        if (WaitForSingleObject(returned_, 0) == WAIT_OBJECT_0 || GetTickCount64() >= deadline) return false;
        Sleep(10);
    }
    return true;
}

bool InProcessService::WaitUntilStartupComplete(DWORD timeoutMs)
{
    const HANDLE either[] = {g_startupComplete, returned_};
    return WaitForMultipleObjects(2, either, FALSE, timeoutMs) == WAIT_OBJECT_0;
}

bool InProcessService::WaitUntilReturned(DWORD timeoutMs)
{
    return WaitForSingleObject(returned_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD InProcessService::Control(DWORD control, DWORD eventType, void* eventData)
{
    if (g_handler == nullptr) throw std::runtime_error("no control handler registered");
    return g_handler(control, eventType, eventData, nullptr);
}

std::vector<std::string> InProcessService::Events() const
{
    std::lock_guard<std::mutex> lock(g_eventsLock);
    return g_events;
}

}  // namespace testsvc
