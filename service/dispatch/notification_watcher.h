// The notification watcher: the one thread that turns key presses into dispatches. The hotkey
// source signals a press by toggling the hotkey's bit in the "Notification" key below the
// Parameters root (class 01 in its default value, class 02 in "Type2"). Each pass re-opens the key,
// arms a change notification on it (and one on the root, which reports the key's deletion),
// compares its values with the ones last acted on and dispatches every served hotkey whose bit
// toggled; between passes the thread blocks until something changes or the stop event is set.
#pragma once

#include <windows.h>

#include <cstddef>

#include "host/service_state.h"
#include "registry/hotkey_types.h"
#include "unique_handle.h"

// The two press signals of the "Notification" key.
struct PressSignals {
    DWORD notification = 0;  // class 01: the key's default value
    DWORD type2 = 0;         // class 02: "Type2"
};

// One toggled hotkey: its class and its zero-based index (HotkeyNumber - 1).
struct HotkeyChange {
    HotkeyClass hotkeyClass = HotkeyClass::Class01;
    DWORD index = 0;
    bool operator==(const HotkeyChange&) const = default;
};

inline constexpr size_t kMaxHotkeyChanges = 2 * kHotkeysPerClass;

// The served hotkeys whose bit differs between `last` and `current`, in dispatch order: every
// class-01 hotkey before any class-02 one, ascending index within a class. Fills the first
// entries of `changes` and returns how many; bits outside the masks never count.
size_t ChangedHotkeys(const PressSignals& last, const PressSignals& current, const WatchMasks& masks,
                      HotkeyChange (&changes)[kMaxHotkeyChanges]);

// After a pass that could not read the key or arm its notifications nothing may wake the watcher
// for a change, so it waits at most this long before it tries again.
inline constexpr DWORD kFailedPassRetryMs = 1000;

// What the watcher carries from one pass to the next.
struct WatcherMemory {
    PressSignals last;        // the values last acted on
    bool freshStart = false;  // the key was unreadable since: its next reading is the source's starting state
};

// What one pass found in the registry.
struct PassReading {
    bool signalRead = false;  // the "Notification" key opened and its default value was read
    bool armed = false;       // every change notification the next wait relies on is armed
    PressSignals current;     // a "Type2" that cannot be read counts as 0
};

// What one pass does: dispatch `changes` in order, then remember `memory` and wait up to `waitMs`
// for the next change.
struct PassPlan {
    HotkeyChange changes[kMaxHotkeyChanges] = {};
    size_t changeCount = 0;
    WatcherMemory memory;
    DWORD waitMs = INFINITE;
};

// The decision of one pass. A pass that read the key and armed its notifications dispatches the
// served toggles since `memory.last` and, when it dispatched any, remembers the values it read
// (whole, unserved bits included); otherwise it remembers what it had. A pass that could not read
// the key marks a fresh start, and the first pass that reads it again takes its values as the
// starting state without dispatching anything: values in a recreated key are not presses. Unless
// the pass read and armed, the wait is bounded by kFailedPassRetryMs.
PassPlan PlanPass(const WatcherMemory& memory, const PassReading& reading, const WatchMasks& masks);

// The dispatch of one toggled hotkey: DispatchHotkey in the service. Runs on the watcher thread;
// its result is not used (a toggle counts as handled either way and is never retried).
using HotkeyDispatch = bool (*)(HotkeyClass hotkeyClass, DWORD index);

// The watcher's state across passes: the keys it holds, what it remembers, and an event of its
// own for the Parameters root's notification (see RootChangedEvent). Opens the hotkey registry
// with keyFamily and isWow64 of g_serviceState. RunNotificationWatcher takes these steps; tests
// may take them one at a time.
class NotificationWatch {
public:
    // `changeEvent` receives the "Notification" key's change notifications; it must outlive this
    // object.
    NotificationWatch(const WatchMasks& masks, HANDLE changeEvent, HotkeyDispatch dispatch);

    // Remembers the values present now: they are never dispatched. A key or default value that
    // cannot be read makes the first pass that reads it a fresh start.
    void ReadStartingValues();

    // One pass: clears `changeEvent` and RootChangedEvent, re-opens the key, arms its
    // notifications, dispatches every served toggle since the values last acted on. Returns how
    // long to wait for the next change: INFINITE, or kFailedPassRetryMs after a pass that could not
    // read the key or arm its notifications.
    DWORD Pass();

    // Signalled when a key directly below the Parameters root is created or deleted, the
    // "Notification" key among them: a notification armed on a key that is then deleted is not
    // signalled everywhere (wine never signals it), so its parent reports the deletion. An event
    // of its own, because arming a notification clears the event it is given, which would drop a
    // signal of the other notification given in between. Null when it could not be created; every
    // pass then counts as not armed, and the watcher polls.
    HANDLE RootChangedEvent() const { return rootChanged_.Get(); }

    const WatcherMemory& Memory() const { return memory_; }

private:
    WatchMasks masks_;
    HANDLE changeEvent_;
    HotkeyDispatch dispatch_;
    UniqueKernelHandle rootChanged_;
    UniqueHkey root_;  // the Parameters root
    UniqueHkey key_;   // its "Notification" key
    WatcherMemory memory_;
};

// The watcher's whole run: copies `*masks`, reads the starting values, then passes and waits on
// changeEvent, stopEvent and the watch's RootChangedEvent until a wait reports the stop event. A
// dispatch under way when the stop event is set finishes, and so does the rest of its pass; when
// a change is pending too, the wait reports it first (the lower index) and one more pass runs.
// Both events must stay open until this returns; everything it opened is closed when it returns.
void RunNotificationWatcher(const WatchMasks* masks, HANDLE changeEvent, HANDLE stopEvent, HotkeyDispatch dispatch);

// The watcher thread's routine: RunNotificationWatcher with `watchMasks` (a WatchMasks that lives
// as long as the thread), the watcherEvents of g_serviceState and DispatchHotkey. Exit code 0.
DWORD WINAPI NotificationWatcher(LPVOID watchMasks);
