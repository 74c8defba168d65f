// Starting the notification watcher thread and ending it. The control handler's stop and
// ServiceMain's clean-up meet here under one lock, so that a stop never touches the watcher's
// handles after they were closed, and a stop that comes before the thread exists is not lost.
#pragma once

#include <windows.h>

// Synchronises both hotkey classes, stores the masks in watchMasks, creates watcherEvents and
// starts the watcher thread at priority 6 (published as watcherThread; also written to *thread).
// False when the class-01 synchronisation failed, when both masks are 0 (*startError is then
// kNoHotkeysServedError), or when an event or the thread cannot be created (*startError is then
// the platform's error); a failed synchronisation leaves *startError at kNoHotkeysServedError
// too, having no error code of its own. Nothing is left open on failure. When a stop was
// requested before the thread existed, the thread is told to stop at once.
bool StartWatcher(HANDLE* thread, DWORD* startError);

// Tells the watcher thread `thread` to end: sets stopEvent when the thread still runs. Nothing
// else; the handles stay open until CloseWatcher. Call it under the watcher lock (RequestStop).
void StopWatcher(HANDLE thread);

// The stop control: records that a stop was requested and, once the watcher thread exists,
// stops it. Safe at any moment of the service's life, any number of times.
void RequestStop();

// ServiceMain's end of the watcher, after the thread has ended: withdraws and closes the thread
// handle and both events.
void CloseWatcher();

// The exit code of a start that failed in a step without an error code of its own (the hotkey
// class synchronisation, or no hotkey served at all): "the configuration data is corrupt".
inline constexpr DWORD kNoHotkeysServedError = ERROR_BAD_CONFIGURATION;
