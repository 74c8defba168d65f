// Names of the keys and values of the hotkey registry.
#pragma once

#include "registry/hotkey_types.h"

// Parameters root of the family, below HKEY_LOCAL_MACHINE.
const wchar_t* ParametersRootPath(KeyFamily family);
// Class key of the family for one hotkey class, below HKEY_LOCAL_MACHINE.
const wchar_t* ClassKeyPath(KeyFamily family, HotkeyClass hotkeyClass);

// Writes the per-hotkey subkey name of zero-based `index` ("%02X" of index + 1) into `dest`;
// false when it does not fit.
bool FormatHotkeySubkeyName(wchar_t* dest, size_t destUnits, DWORD index);

// "Disable" always lives in the system-event family's class-01 key, whichever family is in use.
inline constexpr const wchar_t* kDisableKeyPath = L"SOFTWARE\\NORVANE\\QVHOTKEY\\CLASS\\01";

// Subkeys of the Parameters root.
inline constexpr const wchar_t* kCapabilityKey = L"Capability";
inline constexpr const wchar_t* kCurrentSettingKey = L"CurrentSetting";
inline constexpr const wchar_t* kNotificationKey = L"Notification";
inline constexpr const wchar_t* kOverrideSettingKey = L"OverrideSetting";

// Values below the Parameters root ("" / null is the key's default value).
inline constexpr const wchar_t* kInternalFunctionValue = L"IsExistPMInternalFunction";
inline constexpr const wchar_t* kOverrideCapabilityValue = L"OverrideCapability";
inline constexpr const wchar_t* kType2Value = L"Type2";

// Values in the class keys.
inline constexpr const wchar_t* kDisableValue = L"Disable";
inline constexpr const wchar_t* kClassCapabilityValue = L"Capability";
inline constexpr const wchar_t* kServicedValue = L"Serviced";

// Values in a hotkey's subkey.
inline constexpr const wchar_t* kFileValue = L"File";
inline constexpr const wchar_t* kParametersValue = L"Parameters";
inline constexpr const wchar_t* kNaConditionValue = L"NACondition";
inline constexpr const wchar_t* kLockedModeValue = L"LockedMode";
inline constexpr const wchar_t* kNativePathValue = L"NativePath";
