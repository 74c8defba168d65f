// The service's one process-wide record. Almost everything is written once by ServiceMain while
// the service starts, before the watcher thread exists, and only read afterwards. `running`,
// `noInteractiveUser`, `consoleSessionId` and `stopRequested` are the exception: the control
// handler and ServiceMain write them while the watcher reads them, so they are atomics (single
// aligned 32-bit values). `watcherThread` and `watcherEvents` are published and withdrawn under
// the watcher lock (host/watcher_control.h), so that a stop control never uses a closed handle.
#pragma once

#include <windows.h>

#include <atomic>

#include "registry/hotkey_types.h"

// The served bits the watcher follows, one mask per hotkey class.
struct WatchMasks {
    DWORD class01Mask = 0;
    DWORD class02Mask = 0;
};

inline constexpr size_t kChangeEventIndex = 0;  // armed with the "Notification" key's change notification
inline constexpr size_t kStopEventIndex = 1;    // set to end the watcher

struct ServiceState {
    SERVICE_STATUS_HANDLE statusHandle = nullptr;
    std::atomic<BOOL> running{FALSE};  // start-up complete and the watcher still runs
    BOOL isWow64 = FALSE;              // 32-bit service on 64-bit Windows: registry opens use the 64-bit view
    KeyFamily keyFamily = KeyFamily::PowerManager;
    BOOL isWindowsXp = FALSE;        // version 5.1
    BOOL isWindows7OrLater = FALSE;  // version 6.1 or later
    DWORD driverPresent = 0;         // the power-management driver answered its probe
    wchar_t programDir[MAX_PATH] = {};  // directory of the executable, short form, no trailing backslash
    HANDLE primaryToken = nullptr;      // the service's primary token, SeTcbPrivilege enabled
    HANDLE hotkeyNumberSection = nullptr;
    HANDLE watcherThread = nullptr;
    HANDLE watcherEvents[2] = {};  // [kChangeEventIndex], [kStopEventIndex]; auto-reset, unnamed
    std::atomic<BOOL> noInteractiveUser{FALSE};  // no logged-on, unlocked user owns the console
    std::atomic<DWORD> consoleSessionId{0};
    WatchMasks watchMasks;
    std::atomic<BOOL> stopRequested{FALSE};  // a stop control arrived; start-up ends as soon as it can
};

static_assert(std::atomic<BOOL>::is_always_lock_free && std::atomic<DWORD>::is_always_lock_free);

extern ServiceState g_serviceState;
