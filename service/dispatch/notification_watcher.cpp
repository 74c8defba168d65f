#include "dispatch/notification_watcher.h"

#include "dispatch/handler_resolution.h"
#include "registry/registry_keys.h"
#include "registry/registry_paths.h"

namespace {

size_t AppendChanges(DWORD changed, HotkeyClass hotkeyClass, HotkeyChange* changes, size_t count)
{
    for (DWORD index = 0; changed != 0; ++index, changed >>= 1) {
        if (changed & 1) changes[count++] = HotkeyChange{hotkeyClass, index};
    }
    return count;
}

// Opens the Parameters root and its "Notification" key into the owners, arms a notification on
// each (the root's for keys created or deleted below it, on `rootChanged`; the key's for its
// values, on `changeEvent`) and reads the press signals.
//
// Each notification is armed before what it covers is read: arming clears the event, so a press
// that landed between a read and the arming would be neither in this pass nor signalled. The root
// is armed before the key is opened: a key deleted before that does not open.
PassReading ListenAndRead(UniqueHkey* root, UniqueHkey* key, HANDLE changeEvent, HANDLE rootChanged)
{
    PassReading reading;
    const BOOL wow64 = g_serviceState.isWow64;
    if (OpenParametersKey(nullptr, KEY_READ, root->Put(), wow64, g_serviceState.keyFamily) != ERROR_SUCCESS) {
        return reading;
    }
    const bool rootArmed = rootChanged != nullptr &&
                           RegNotifyChangeKeyValue(root->Get(), FALSE, REG_NOTIFY_CHANGE_NAME, rootChanged, TRUE) ==
                               ERROR_SUCCESS;
    if (OpenRegistryKey(root->Get(), kNotificationKey, KEY_READ, key->Put(), wow64) != ERROR_SUCCESS) return reading;
    const bool keyArmed =
        RegNotifyChangeKeyValue(key->Get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changeEvent, TRUE) == ERROR_SUCCESS;
    reading.armed = rootArmed && keyArmed;
    reading.signalRead = ReadDwordValue(key->Get(), nullptr, &reading.current.notification) == ERROR_SUCCESS;
    if (ReadDwordValue(key->Get(), kType2Value, &reading.current.type2) != ERROR_SUCCESS) reading.current.type2 = 0;
    return reading;
}

}  // namespace

size_t ChangedHotkeys(const PressSignals& last, const PressSignals& current, const WatchMasks& masks,
                      HotkeyChange (&changes)[kMaxHotkeyChanges])
{
    size_t count = AppendChanges((last.notification ^ current.notification) & masks.class01Mask,
                                 HotkeyClass::Class01, changes, 0);
    return AppendChanges((last.type2 ^ current.type2) & masks.class02Mask, HotkeyClass::Class02, changes, count);
}

PassPlan PlanPass(const WatcherMemory& memory, const PassReading& reading, const WatchMasks& masks)
{
    PassPlan plan;
    plan.memory = memory;
    plan.waitMs = reading.signalRead && reading.armed ? INFINITE : kFailedPassRetryMs;
    if (!reading.signalRead) {
        plan.memory.freshStart = true;
        return plan;
    }
    if (memory.freshStart) {
        plan.memory = WatcherMemory{reading.current, false};
        return plan;
    }
    if (!reading.armed) return plan;
    plan.changeCount = ChangedHotkeys(memory.last, reading.current, masks, plan.changes);
    if (plan.changeCount != 0) plan.memory.last = reading.current;
    return plan;
}

NotificationWatch::NotificationWatch(const WatchMasks& masks, HANDLE changeEvent, HotkeyDispatch dispatch)
    : masks_(masks), changeEvent_(changeEvent), dispatch_(dispatch),
      rootChanged_(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
}

void NotificationWatch::ReadStartingValues()
{
    memory_ = WatcherMemory{};
    if (OpenParametersKey(kNotificationKey, KEY_READ, key_.Put(), g_serviceState.isWow64, g_serviceState.keyFamily) !=
        ERROR_SUCCESS) {
        memory_.freshStart = true;
        return;
    }
    memory_.freshStart = ReadDwordValue(key_.Get(), nullptr, &memory_.last.notification) != ERROR_SUCCESS;
    if (ReadDwordValue(key_.Get(), kType2Value, &memory_.last.type2) != ERROR_SUCCESS) memory_.last.type2 = 0;
}

DWORD NotificationWatch::Pass()
{
    key_.Reset();
    root_.Reset();
    // Closing a key whose notification is still armed (the root's, usually) signals its event at
    // once; left set, that would start a pass that closes the next armed key, and so on without
    // end. Clearing loses nothing: whatever changed before the notifications are armed again is in
    // this pass's reading.
    ResetEvent(changeEvent_);
    if (rootChanged_) ResetEvent(rootChanged_.Get());
    const PassReading reading = ListenAndRead(&root_, &key_, changeEvent_, rootChanged_.Get());
    const PassPlan plan = PlanPass(memory_, reading, masks_);
    for (size_t i = 0; i < plan.changeCount; ++i) dispatch_(plan.changes[i].hotkeyClass, plan.changes[i].index);
    memory_ = plan.memory;
    return plan.waitMs;
}

void RunNotificationWatcher(const WatchMasks* masks, HANDLE changeEvent, HANDLE stopEvent, HotkeyDispatch dispatch)
{
    NotificationWatch watch(*masks, changeEvent, dispatch);
    watch.ReadStartingValues();
    constexpr size_t kRootChangedIndex = 2;
    HANDLE events[3];
    events[kChangeEventIndex] = changeEvent;
    events[kStopEventIndex] = stopEvent;
    events[kRootChangedIndex] = watch.RootChangedEvent();
    const DWORD count = events[kRootChangedIndex] != nullptr ? 3 : 2;
    for (;;) {
        const DWORD waitMs = watch.Pass();
        if (WaitForMultipleObjects(count, events, FALSE, waitMs) == WAIT_OBJECT_0 + kStopEventIndex) return;
    }
}

DWORD WINAPI NotificationWatcher(LPVOID watchMasks)
{
    RunNotificationWatcher(static_cast<const WatchMasks*>(watchMasks), g_serviceState.watcherEvents[kChangeEventIndex],
                           g_serviceState.watcherEvents[kStopEventIndex], DispatchHotkey);
    // Returning hands 0 to ExitThread through the thread's start-up code; calling ExitThread here
    // would end the thread the same way, only without unwinding this frame.
    return 0;
}
