// Types shared by every part of the service that touches the hotkey registry.
#pragma once

#include <windows.h>

// Which product component owns the hotkey registry on this machine; selects the Parameters root
// and the family of class keys. Stored as a plain 32-bit value (nonzero = SystemEvent).
enum class KeyFamily : DWORD {
    PowerManager = 0,  // an ACPI hotkey device is present: the power-management service's keys
    SystemEvent = 1,   // no such device: the system-event component's keys
};

// The two families of hotkeys. HotkeyNumber n (1..32) is bit n-1 of every mask of its class;
// code passes the zero-based index n-1.
enum class HotkeyClass : DWORD {
    Class01 = 0,  // keyboard hotkeys, signalled in the "Notification" default value
    Class02 = 1,  // second event family, signalled in the "Notification" key's "Type2" value
};

constexpr DWORD kHotkeysPerClass = 32;
