#include "host/watcher_control.h"

#include "dispatch/notification_watcher.h"
#include "host/service_state.h"
#include "registry/hotkey_sync.h"
#include "unique_handle.h"

namespace {

// Guards watcherThread and watcherEvents between their publication by StartWatcher, their use by
// the stop control (dispatcher thread) and their closing by ServiceMain.
class WatcherLock {
public:
    WatcherLock() { InitializeCriticalSection(&section_); }
    ~WatcherLock() { DeleteCriticalSection(&section_); }
    WatcherLock(const WatcherLock&) = delete;
    WatcherLock& operator=(const WatcherLock&) = delete;
    void Enter() { EnterCriticalSection(&section_); }
    void Leave() { LeaveCriticalSection(&section_); }

private:
    CRITICAL_SECTION section_;
};
WatcherLock g_watcherLock;

class Held {
public:
    Held() { g_watcherLock.Enter(); }
    ~Held() { g_watcherLock.Leave(); }
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
};

// Beyond THREAD_PRIORITY_HIGHEST (2): the watcher asks for the top of its priority class.
constexpr int kWatcherThreadPriority = 6;

}  // namespace

bool StartWatcher(HANDLE* thread, DWORD* startError)
{
    ServiceState& state = g_serviceState;
    DWORD class01Mask = 0;
    DWORD class02Mask = 0;
    const bool synchronized = SynchronizeClass01(&class01Mask);
    SynchronizeClass02(&class02Mask);  // its result does not decide anything
    state.watchMasks.class01Mask = class01Mask;
    state.watchMasks.class02Mask = class02Mask;
    if ((class01Mask == 0 && class02Mask == 0) || !synchronized) {
        *startError = kNoHotkeysServedError;
        return false;
    }

    UniqueKernelHandle changeEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!changeEvent) {
        *startError = GetLastError();
        return false;
    }
    UniqueKernelHandle stopEvent(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    if (!stopEvent) {
        *startError = GetLastError();
        return false;
    }
    // The thread reads the events from the service state: they are there before it starts.
    Held held;
    state.watcherEvents[kChangeEventIndex] = changeEvent.Get();
    state.watcherEvents[kStopEventIndex] = stopEvent.Get();
    UniqueKernelHandle watcher(CreateThread(nullptr, 0, NotificationWatcher, &state.watchMasks, 0, nullptr));
    if (!watcher) {
        *startError = GetLastError();
        state.watcherEvents[kChangeEventIndex] = nullptr;
        state.watcherEvents[kStopEventIndex] = nullptr;
        return false;
    }
    SetThreadPriority(watcher.Get(), kWatcherThreadPriority);  // result ignored
    changeEvent.Release();  // owned by the service state until CloseWatcher
    stopEvent.Release();
    state.watcherThread = watcher.Release();
    *thread = state.watcherThread;
    if (state.stopRequested) StopWatcher(state.watcherThread);  // the stop came while starting
    return true;
}

void StopWatcher(HANDLE thread)
{
    if (thread == nullptr) return;
    DWORD exitCode = 0;
    if (GetExitCodeThread(thread, &exitCode) && exitCode == STILL_ACTIVE) {
        SetEvent(g_serviceState.watcherEvents[kStopEventIndex]);
    }
}

void RequestStop()
{
    Held held;
    g_serviceState.stopRequested = TRUE;
    StopWatcher(g_serviceState.watcherThread);
}

void CloseWatcher()
{
    ServiceState& state = g_serviceState;
    HANDLE thread = nullptr;
    HANDLE events[2] = {};
    {
        Held held;
        thread = state.watcherThread;
        events[0] = state.watcherEvents[kChangeEventIndex];
        events[1] = state.watcherEvents[kStopEventIndex];
        state.watcherThread = nullptr;
        state.watcherEvents[kChangeEventIndex] = nullptr;
        state.watcherEvents[kStopEventIndex] = nullptr;
    }
    // Owned again from here, so that each closes once.
    UniqueKernelHandle closeThread(thread);
    UniqueKernelHandle closeChange(events[0]);
    UniqueKernelHandle closeStop(events[1]);
}
