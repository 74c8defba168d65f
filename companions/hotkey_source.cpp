#include "hotkey_source.h"

#include <string>

#include "registry/registry_keys.h"
#include "registry/registry_paths.h"

namespace {

constexpr REGSAM kWriteAccess = RegistryAccess(KEY_ALL_ACCESS, TRUE);

std::wstring Below(KeyFamily family, const wchar_t* subkey)
{
    return std::wstring(ParametersRootPath(family)) + L"\\" + subkey;
}

bool SetDword(const std::wstring& path, const wchar_t* name, DWORD value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, kWriteAccess, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const LONG error = WriteDwordValue(key, name, value);
    RegCloseKey(key);
    return error == ERROR_SUCCESS;
}

const wchar_t* PressSignalName(HotkeyClass hotkeyClass)
{
    return hotkeyClass == HotkeyClass::Class01 ? nullptr : kType2Value;
}

}  // namespace

bool SeedHotkeySource(KeyFamily family, const HotkeySourceSeed& seed)
{
    const std::wstring capability = Below(family, kCapabilityKey);
    const std::wstring notification = Below(family, kNotificationKey);
    bool ok = SetDword(capability, nullptr, seed.capability);
    if (ok && seed.internal) ok = SetDword(capability, kInternalFunctionValue, *seed.internal);
    if (ok && seed.override) ok = SetDword(capability, kOverrideCapabilityValue, *seed.override);
    if (ok && seed.type2) ok = SetDword(capability, kType2Value, *seed.type2);
    if (ok) ok = SetDword(Below(family, kCurrentSettingKey), nullptr, seed.currentSetting);
    if (ok) ok = SetDword(notification, nullptr, 0);
    if (ok) ok = SetDword(notification, kType2Value, 0);
    if (ok && seed.overrideSetting) ok = SetDword(Below(family, kOverrideSettingKey), nullptr, *seed.overrideSetting);
    if (ok && seed.disable) ok = SetDword(kDisableKeyPath, kDisableValue, *seed.disable);
    return ok;
}

std::optional<DWORD> ReadPressSignal(KeyFamily family, HotkeyClass hotkeyClass)
{
    HKEY key = nullptr;
    if (OpenParametersKey(kNotificationKey, KEY_READ, &key, TRUE, family) != ERROR_SUCCESS) return std::nullopt;
    DWORD value = 0;
    const LONG error = ReadDwordValue(key, PressSignalName(hotkeyClass), &value);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS) return std::nullopt;
    return value;
}

bool PressHotkey(KeyFamily family, HotkeyClass hotkeyClass, DWORD number)
{
    if (number < 1 || number > kHotkeysPerClass) return false;
    HKEY key = nullptr;
    if (OpenParametersKey(kNotificationKey, KEY_ALL_ACCESS, &key, TRUE, family) != ERROR_SUCCESS) return false;
    DWORD signal = 0;
    const LONG readError = ReadDwordValue(key, PressSignalName(hotkeyClass), &signal);
    bool ok = readError == ERROR_SUCCESS || readError == ERROR_FILE_NOT_FOUND;
    if (ok) ok = WriteDwordValue(key, PressSignalName(hotkeyClass), signal ^ (1u << (number - 1))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return ok;
}
