#include "registry/hotkey_sync.h"

#include "host/service_state.h"
#include "registry/registry_keys.h"
#include "registry/registry_paths.h"
#include "unique_handle.h"

namespace {

constexpr DWORD Bit(DWORD index)
{
    return 1u << index;
}

// "Disable" of the system-event family's class-01 key; 0 when it cannot be read. It applies to
// both classes and to both families.
DWORD ReadDisabledHotkeys(BOOL isWow64)
{
    DWORD disable = 0;
    UniqueHkey key;
    if (OpenRegistryKey(HKEY_LOCAL_MACHINE, kDisableKeyPath, KEY_READ, key.Put(), isWow64) == ERROR_SUCCESS) {
        ReadDwordValue(key.Get(), kDisableValue, &disable);
    }
    return disable;
}

LONG CreateKeyForWriting(HKEY parent, const wchar_t* name, HKEY* key, BOOL isWow64)
{
    return CreateRegistryKey(parent, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key,
                             nullptr, isWow64);
}

}  // namespace

Class01Inputs ReadClass01Inputs()
{
    const ServiceState& state = g_serviceState;
    Class01Inputs in;
    {
        UniqueHkey capability;
        in.capabilityRead = OpenParametersKey(kCapabilityKey, KEY_READ, capability.Put(), state.isWow64,
                                              state.keyFamily) == ERROR_SUCCESS;
        if (in.capabilityRead) in.capabilityRead = ReadDwordValue(capability.Get(), nullptr, &in.offered) == ERROR_SUCCESS;
        if (capability) {
            // Optional: read whatever the default value's read gave; a failed read keeps the default.
            ReadDwordValue(capability.Get(), kInternalFunctionValue, &in.internal);
            ReadDwordValue(capability.Get(), kOverrideCapabilityValue, &in.overrides);
        }
    }
    in.disabled = ReadDisabledHotkeys(state.isWow64);
    return in;
}

bool OverrideRegistersHandler(HKEY hotkeyKey)
{
    return QueryValuePresence(hotkeyKey, kFileValue) == ERROR_SUCCESS &&
           QueryValuePresence(hotkeyKey, kParametersValue) == ERROR_SUCCESS;
}

bool OverrideHotkeyRegistersHandler(DWORD index)
{
    const ServiceState& state = g_serviceState;
    wchar_t name[8];
    if (!FormatHotkeySubkeyName(name, ARRAYSIZE(name), index)) return false;
    UniqueHkey classKey;
    if (OpenRegistryKey(HKEY_LOCAL_MACHINE, ClassKeyPath(state.keyFamily, HotkeyClass::Class01), KEY_READ,
                        classKey.Put(), state.isWow64) != ERROR_SUCCESS) {
        return false;
    }
    UniqueHkey hotkeyKey;
    return OpenRegistryKey(classKey.Get(), name, KEY_READ, hotkeyKey.Put(), state.isWow64) == ERROR_SUCCESS &&
           OverrideRegistersHandler(hotkeyKey.Get());
}

Class02Inputs ReadClass02Inputs()
{
    const ServiceState& state = g_serviceState;
    Class02Inputs in;
    {
        UniqueHkey capability;
        in.type2Read = OpenParametersKey(kCapabilityKey, KEY_READ, capability.Put(), state.isWow64, state.keyFamily) ==
                       ERROR_SUCCESS;
        if (in.type2Read) in.type2Read = ReadDwordValue(capability.Get(), kType2Value, &in.offered) == ERROR_SUCCESS;
    }
    in.disabled = ReadDisabledHotkeys(state.isWow64);
    return in;
}

bool SynchronizeClass01(DWORD* class01Mask)
{
    const ServiceState& state = g_serviceState;
    const Class01Inputs in = ReadClass01Inputs();
    bool result = in.capabilityRead;
    DWORD served = ServedClass01(in);
    const DWORD overrides = in.overrides;
    DWORD overridesWithHandler = 0;

    if (served != 0) {
        UniqueHkey currentSetting;
        if (result) {
            result = OpenParametersKey(kCurrentSettingKey, KEY_ALL_ACCESS, currentSetting.Put(), state.isWow64,
                                       state.keyFamily) == ERROR_SUCCESS;
        }
        DWORD current = 0;
        if (result) result = ReadDwordValue(currentSetting.Get(), nullptr, &current) == ERROR_SUCCESS;
        current |= SwitchedOnClass01(served, state.isWindows7OrLater);
        if (result) result = WriteDwordValue(currentSetting.Get(), nullptr, current) == ERROR_SUCCESS;
    }

    served = PublishedClass01(in);
    DWORD mask = served;

    {
        UniqueHkey classKey;
        if (CreateKeyForWriting(HKEY_LOCAL_MACHINE, ClassKeyPath(state.keyFamily, HotkeyClass::Class01),
                                classKey.Put(), state.isWow64) == ERROR_SUCCESS) {
            for (DWORD index = 0; index < kHotkeysPerClass; ++index) {
                if ((served & Bit(index)) == 0) continue;
                wchar_t name[8];
                if (!FormatHotkeySubkeyName(name, ARRAYSIZE(name), index)) continue;
                UniqueHkey hotkeyKey;
                if (CreateKeyForWriting(classKey.Get(), name, hotkeyKey.Put(), state.isWow64) != ERROR_SUCCESS) continue;
                if ((overrides & Bit(index)) == 0) continue;
                // An override hotkey is watched only when its subkey registers a handler.
                if (OverrideRegistersHandler(hotkeyKey.Get())) {
                    overridesWithHandler |= Bit(index);
                } else {
                    mask &= ~Bit(index);
                }
            }
            // The published set keeps override hotkeys without a handler; only the watch mask drops them.
            if (result) result = WriteDwordValue(classKey.Get(), kClassCapabilityValue, served) == ERROR_SUCCESS;
        }
    }

    *class01Mask = mask;

    UniqueHkey overrideSetting;
    if (OpenParametersKey(kOverrideSettingKey, KEY_ALL_ACCESS, overrideSetting.Put(), state.isWow64, state.keyFamily) !=
        ERROR_SUCCESS) {
        return result;
    }
    DWORD inUse = 0;
    if (result) result = ReadDwordValue(overrideSetting.Get(), nullptr, &inUse) == ERROR_SUCCESS;
    inUse |= overridesWithHandler;
    if (result) result = WriteDwordValue(overrideSetting.Get(), nullptr, inUse) == ERROR_SUCCESS;
    return result;
}

bool SynchronizeClass02(DWORD* class02Mask)
{
    const ServiceState& state = g_serviceState;
    const Class02Inputs in = ReadClass02Inputs();
    bool result = in.type2Read;
    const DWORD events = ServedClass02(in);

    UniqueHkey classKey;
    if (CreateKeyForWriting(HKEY_LOCAL_MACHINE, ClassKeyPath(state.keyFamily, HotkeyClass::Class02), classKey.Put(),
                            state.isWow64) == ERROR_SUCCESS) {
        for (DWORD index = 0; index < kHotkeysPerClass; ++index) {
            if ((events & Bit(index)) == 0) continue;
            wchar_t name[8];
            if (!FormatHotkeySubkeyName(name, ARRAYSIZE(name), index)) continue;
            UniqueHkey hotkeyKey;
            CreateKeyForWriting(classKey.Get(), name, hotkeyKey.Put(), state.isWow64);
        }
        if (result) result = WriteDwordValue(classKey.Get(), kServicedValue, events) == ERROR_SUCCESS;
    }

    *class02Mask = events;
    return result;
}
