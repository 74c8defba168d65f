// Start-up synchronisation of the two hotkey classes: works out which hotkeys this service
// serves, switches them on, makes sure each has its subkey, publishes the served sets, and
// yields the masks the watcher follows. Reads isWow64, keyFamily and isWindows7OrLater from
// g_serviceState. Nothing is rolled back: values written before a failure stay written.
#pragma once

#include <windows.h>

// Class 01. False when "Capability" or its default value cannot be read, when a nonzero served
// set cannot be switched on in "CurrentSetting", when the class key's "Capability" cannot be
// written, or when an existing "OverrideSetting" cannot be read or written. Once false, the later
// writes are skipped, but subkeys are still created and *class01Mask is still produced.
bool SynchronizeClass01(DWORD* class01Mask);

// Class 02. False when "Capability" or its "Type2" cannot be read or "Serviced" cannot be
// written; *class02Mask is produced either way.
bool SynchronizeClass02(DWORD* class02Mask);

// Hotkeys the product's power-management component handles itself, assumed when
// "IsExistPMInternalFunction" is absent: HotkeyNumbers 3, 4 and 12.
inline constexpr DWORD kDefaultInternalFunctions = 0x80C;
// HotkeyNumber 7, never switched on at start before Windows 7.
inline constexpr DWORD kWindows7OnlyHotkeys = 0x40;

// What the class-01 synchronisation reads before it writes anything (the diagnostics program
// reads the same and writes nothing).
struct Class01Inputs {
    bool capabilityRead = false;  // "Capability" opened and its default value read
    DWORD offered = 0;            // "Capability" default value
    DWORD internal = kDefaultInternalFunctions;  // "IsExistPMInternalFunction", else the default
    DWORD overrides = 0;          // "OverrideCapability"
    DWORD disabled = 0;           // "Disable" of the system-event class-01 key
};
// Reads them from the family's Parameters root and the "Disable" key; reads nothing else.
Class01Inputs ReadClass01Inputs();
// The served set before the override hotkeys join it: offered, not disabled, not internal.
inline DWORD ServedClass01(const Class01Inputs& in)
{
    return in.offered & ~in.disabled & ~in.internal;
}
// The bits the start-up switches on in "CurrentSetting" for the served set.
inline DWORD SwitchedOnClass01(DWORD served, BOOL isWindows7OrLater)
{
    return isWindows7OrLater ? served : (served & ~kWindows7OnlyHotkeys);
}
// The class-01 set the start-up publishes: the served set and the override hotkeys.
inline DWORD PublishedClass01(const Class01Inputs& in)
{
    return ServedClass01(in) | in.overrides;
}
// Whether an override hotkey's subkey registers a handler ("File" and "Parameters" present):
// only then is it watched.
bool OverrideRegistersHandler(HKEY hotkeyKey);
// The same for class-01 hotkey `index` (0..31), opening its subkey for reading only; false when
// the subkey does not exist.
bool OverrideHotkeyRegistersHandler(DWORD index);

struct Class02Inputs {
    bool type2Read = false;  // "Capability" opened and its "Type2" read
    DWORD offered = 0;       // "Type2"
    DWORD disabled = 0;      // "Disable" (it applies to both classes)
};
Class02Inputs ReadClass02Inputs();
inline DWORD ServedClass02(const Class02Inputs& in)
{
    return in.offered & ~in.disabled;
}
