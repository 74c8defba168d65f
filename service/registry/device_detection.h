// Which hotkey family this machine has, from the ACPI hotkey devices that are present.
#pragma once

#include <windows.h>

#include <cstddef>

#include "registry/hotkey_types.h"

// Hardware-ID lists in multi-string form (each string terminated, the list ended by an empty one).
inline constexpr const wchar_t* kNrv0068Ids = L"ACPI\\NRV0068\0";
inline constexpr const wchar_t* kNrv0168Ids = L"ACPI\\NRV0168\0";
inline constexpr const wchar_t* kKvx0068Ids = L"ACPI\\KVX0068\0";

// True when a present device (any class) lists one of `idList` among its hardware IDs or, failing
// that, its compatible IDs; whole strings, compared case-insensitively. Enumeration failures and
// unreadable properties count as "not found".
BOOL FindDeviceByHardwareId(const wchar_t* idList);

// PowerManager when NRV0068 or NRV0168 is present, or else KVX0068; SystemEvent otherwise.
KeyFamily DetectKeyFamily();

// The decision of DetectKeyFamily over any device search, so that the order and short-circuiting
// of the three searches can be checked: the KVX device is searched only when no NRV device exists.
template <typename FindDevice>
KeyFamily DecideKeyFamily(FindDevice&& findDevice)
{
    bool found = findDevice(kNrv0068Ids);
    if (!found) found = findDevice(kNrv0168Ids);
    if (!found) found = findDevice(kKvx0068Ids);
    return found ? KeyFamily::PowerManager : KeyFamily::SystemEvent;
}

// Walks `units` UTF-16 units of a device property in multi-string form and reports whether one of
// its strings equals (lstrcmpiW) an entry of `idList`. The property ends at its first empty string
// or after `units` units, whichever comes first; it need not be terminated, but the caller must
// provide a NUL unit at values[units] so that a last string cut off by the bound still ends.
bool PropertyListsAnyId(const wchar_t* values, size_t units, const wchar_t* idList);
