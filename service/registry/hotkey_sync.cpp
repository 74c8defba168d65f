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

bool SynchronizeClass01(DWORD* class01Mask)
{
    const ServiceState& state = g_serviceState;
    bool result = true;
    DWORD served = 0;
    DWORD internal = kDefaultInternalFunctions;
    DWORD overrides = 0;
    DWORD overridesWithHandler = 0;

    {
        UniqueHkey capability;
        result = OpenParametersKey(kCapabilityKey, KEY_READ, capability.Put(), state.isWow64, state.keyFamily) ==
                 ERROR_SUCCESS;
        if (result) result = ReadDwordValue(capability.Get(), nullptr, &served) == ERROR_SUCCESS;
        if (capability) {
            // Optional: read whatever `result` says; a failed read keeps the default.
            ReadDwordValue(capability.Get(), kInternalFunctionValue, &internal);
            ReadDwordValue(capability.Get(), kOverrideCapabilityValue, &overrides);
        }
    }

    served &= ~ReadDisabledHotkeys(state.isWow64) & ~internal;

    if (served != 0) {
        UniqueHkey currentSetting;
        if (result) {
            result = OpenParametersKey(kCurrentSettingKey, KEY_ALL_ACCESS, currentSetting.Put(), state.isWow64,
                                       state.keyFamily) == ERROR_SUCCESS;
        }
        DWORD current = 0;
        if (result) result = ReadDwordValue(currentSetting.Get(), nullptr, &current) == ERROR_SUCCESS;
        current |= state.isWindows7OrLater ? served : (served & ~kWindows7OnlyHotkeys);
        if (result) result = WriteDwordValue(currentSetting.Get(), nullptr, current) == ERROR_SUCCESS;
    }

    served |= overrides;
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
                if (QueryValuePresence(hotkeyKey.Get(), kFileValue) == ERROR_SUCCESS &&
                    QueryValuePresence(hotkeyKey.Get(), kParametersValue) == ERROR_SUCCESS) {
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
    bool result = true;
    DWORD events = 0;

    {
        UniqueHkey capability;
        result = OpenParametersKey(kCapabilityKey, KEY_READ, capability.Put(), state.isWow64, state.keyFamily) ==
                 ERROR_SUCCESS;
        if (result) result = ReadDwordValue(capability.Get(), kType2Value, &events) == ERROR_SUCCESS;
    }

    events &= ~ReadDisabledHotkeys(state.isWow64);

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
