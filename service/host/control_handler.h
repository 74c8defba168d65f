// The service's control handler: stop, session changes, and the two custom controls with which
// the command-line client flips one hotkey bit.
#pragma once

#include <windows.h>

// Flip the bit of the hotkey index written into the hotkey-number section.
inline constexpr DWORD kHotkeyControlToggleSetting = 128;       // in "CurrentSetting"
inline constexpr DWORD kHotkeyControlToggleNotification = 129;  // in "Notification": a press

// Registered with RegisterServiceCtrlHandlerExW; runs on the dispatcher thread. NO_ERROR for
// every control, also for those it ignores and for custom controls whose update failed.
DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID context);

// XOR `mask` into the default value of "CurrentSetting" / "Notification" below the Parameters
// root. False, writing nothing, when the key cannot be opened or the value cannot be read as 4
// bytes; false when the write fails.
BOOL ToggleCurrentSettingBit(DWORD mask);
BOOL ToggleNotificationBit(DWORD mask);

// What a session-change notification does to the session state.
enum class IndicatorLaunch { None, Logon, User };
struct SessionChange {
    IndicatorLaunch launch = IndicatorLaunch::None;  // only while the service runs
    bool setsFlag = false;          // noInteractiveUser changes ...
    BOOL noInteractiveUser = FALSE; // ... to this
    bool flagBeforeLaunch = false;  // the flag is written before the launch (else after it)
};

// The effect of event `eventType` for session `sessionId`, given the session of the previous
// notification. Whatever the event, consoleSessionId becomes `sessionId` afterwards.
SessionChange DecideSessionChange(DWORD eventType, DWORD sessionId, DWORD consoleSessionId);
