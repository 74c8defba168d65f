// The hotkey source's side of the hotkey registry (the product's power-management service, or
// its system-event component on machines without the hotkey device): the Parameters root it owns,
// and the key presses it signals there. Used by the hotkeysrc stand-in and by the tests.
//
// The source is a native program: on 64-bit Windows it writes the 64-bit registry view.
#pragma once

#include <windows.h>

#include <optional>

#include "registry/hotkey_types.h"

// What a Parameters root holds when the source has set it up. Values left empty are not written.
struct HotkeySourceSeed {
    DWORD capability = 0;                    // "Capability": class-01 hotkeys offered
    std::optional<DWORD> internal;           // "Capability" "IsExistPMInternalFunction"
    std::optional<DWORD> override;           // "Capability" "OverrideCapability"
    std::optional<DWORD> type2;              // "Capability" "Type2": class-02 events offered
    DWORD currentSetting = 0;                // "CurrentSetting"
    std::optional<DWORD> overrideSetting;    // "OverrideSetting" (the key exists only when given)
    std::optional<DWORD> disable;            // "Disable" of the shared class-01 key
};

// Creates the family's Parameters root with its "Capability", "CurrentSetting" and "Notification"
// subkeys ("Notification" with both press signals at 0) and the values of `seed`. False when a key
// or value cannot be written; what was written stays.
bool SeedHotkeySource(KeyFamily family, const HotkeySourceSeed& seed);

// Signals one press of HotkeyNumber `number` (1..32) of `hotkeyClass`: reads the class's press
// signal in the "Notification" key (its default value for class 01, "Type2" for class 02; a
// missing value counts as 0) and writes it back with bit number-1 inverted, in one write. False,
// writing nothing, for a number outside 1..32 or when the value cannot be read or written.
bool PressHotkey(KeyFamily family, HotkeyClass hotkeyClass, DWORD number);

// The class's press signal as it stands, or nothing when it cannot be read.
std::optional<DWORD> ReadPressSignal(KeyFamily family, HotkeyClass hotkeyClass);
