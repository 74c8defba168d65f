#include "host/control_handler.h"

#include <wtsapi32.h>

#include "host/hotkey_number_section.h"
#include "host/indicator_launch.h"
#include "host/service_state.h"
#include "host/watcher_control.h"
#include "registry/registry_keys.h"
#include "registry/registry_paths.h"
#include "unique_handle.h"

namespace {

BOOL ToggleParametersBit(const wchar_t* subKey, DWORD mask)
{
    const ServiceState& state = g_serviceState;
    UniqueHkey key;
    if (OpenParametersKey(subKey, KEY_ALL_ACCESS, key.Put(), state.isWow64, state.keyFamily) != ERROR_SUCCESS) {
        return FALSE;
    }
    DWORD value = 0;
    if (ReadDwordValue(key.Get(), nullptr, &value) != ERROR_SUCCESS) return FALSE;
    return WriteDwordValue(key.Get(), nullptr, value ^ mask) == ERROR_SUCCESS;
}

void HandleHotkeyControl(DWORD control)
{
    DWORD index = 0;
    if (!ReadHotkeyIndex(g_serviceState.hotkeyNumberSection, &index)) return;
    const DWORD mask = 1u << (index & 31);  // any index names one of the 32 bits
    if (control == kHotkeyControlToggleSetting) {
        ToggleCurrentSettingBit(mask);
    } else {
        ToggleNotificationBit(mask);
    }
}

void HandleSessionChange(DWORD eventType, const WTSSESSION_NOTIFICATION* notification)
{
    ServiceState& state = g_serviceState;
    if (notification == nullptr) return;
    const DWORD session = notification->dwSessionId;
    const SessionChange change = DecideSessionChange(eventType, session, state.consoleSessionId);
    if (change.setsFlag && change.flagBeforeLaunch) state.noInteractiveUser = change.noInteractiveUser;
    if (state.running) {
        if (change.launch == IndicatorLaunch::Logon) LaunchLogonIndicator(session);
        if (change.launch == IndicatorLaunch::User) LaunchUserIndicator(session);
    }
    if (change.setsFlag && !change.flagBeforeLaunch) state.noInteractiveUser = change.noInteractiveUser;
    state.consoleSessionId = session;
}

}  // namespace

BOOL ToggleCurrentSettingBit(DWORD mask)
{
    return ToggleParametersBit(kCurrentSettingKey, mask);
}

BOOL ToggleNotificationBit(DWORD mask)
{
    return ToggleParametersBit(kNotificationKey, mask);
}

SessionChange DecideSessionChange(DWORD eventType, DWORD sessionId, DWORD consoleSessionId)
{
    SessionChange change;
    switch (eventType) {
    case WTS_CONSOLE_CONNECT:
        change.launch = IndicatorLaunch::Logon;
        change.setsFlag = sessionId != consoleSessionId;  // another session took the console
        change.noInteractiveUser = FALSE;
        change.flagBeforeLaunch = true;
        break;
    case WTS_CONSOLE_DISCONNECT:
        change.setsFlag = sessionId != consoleSessionId;
        change.noInteractiveUser = TRUE;
        break;
    case WTS_SESSION_LOGON:
        change.launch = IndicatorLaunch::User;
        change.setsFlag = true;
        change.noInteractiveUser = FALSE;
        break;
    case WTS_SESSION_LOGOFF:
    case WTS_SESSION_LOCK:
        change.setsFlag = true;
        change.noInteractiveUser = TRUE;
        break;
    case WTS_SESSION_UNLOCK:
        change.setsFlag = true;
        change.noInteractiveUser = FALSE;
        break;
    default:  // remote connects and disconnects, and anything else: only the session id moves
        break;
    }
    return change;
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD eventType, LPVOID eventData, LPVOID)
{
    switch (control) {
    case SERVICE_CONTROL_STOP:
        RequestStop();
        break;
    case SERVICE_CONTROL_SESSIONCHANGE:
        HandleSessionChange(eventType, static_cast<const WTSSESSION_NOTIFICATION*>(eventData));
        break;
    case kHotkeyControlToggleSetting:
    case kHotkeyControlToggleNotification:
        HandleHotkeyControl(control);
        break;
    default:
        break;
    }
    return NO_ERROR;
}
