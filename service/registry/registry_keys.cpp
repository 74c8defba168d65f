#include "registry/registry_keys.h"

#include <cwchar>

#include "registry/registry_paths.h"
#include "unique_handle.h"

LONG OpenRegistryKey(HKEY parent, const wchar_t* subKey, REGSAM access, HKEY* key, BOOL use64BitView)
{
    return RegOpenKeyExW(parent, subKey, 0, RegistryAccess(access, use64BitView), key);
}

LONG CreateRegistryKey(HKEY parent, const wchar_t* subKey, DWORD reserved, wchar_t* keyClass, DWORD options,
                       REGSAM access, LPSECURITY_ATTRIBUTES security, HKEY* key, DWORD* disposition,
                       BOOL use64BitView)
{
    return RegCreateKeyExW(parent, subKey, reserved, keyClass, options, RegistryAccess(access, use64BitView),
                           security, key, disposition);
}

LONG OpenParametersKey(const wchar_t* subKey, REGSAM access, HKEY* key, BOOL isWow64, KeyFamily family)
{
    UniqueHkey root;
    const LONG rootError = OpenRegistryKey(HKEY_LOCAL_MACHINE, ParametersRootPath(family), access, root.Put(), isWow64);
    if (rootError != ERROR_SUCCESS) return rootError;
    if (subKey == nullptr) {
        *key = root.Release();
        return ERROR_SUCCESS;
    }
    return OpenRegistryKey(root.Get(), subKey, access, key, isWow64);
}

BOOL ParametersRootExists(BOOL isWow64, KeyFamily family)
{
    UniqueHkey root;
    const LONG error = OpenParametersKey(nullptr, KEY_READ, root.Put(), isWow64, family);
    if (error != ERROR_SUCCESS) {
        SetLastError(static_cast<DWORD>(error));
        return FALSE;
    }
    return TRUE;
}

LONG ReadDwordValue(HKEY key, const wchar_t* name, DWORD* value)
{
    // Read into a copy: after ERROR_MORE_DATA the buffer's contents are undefined.
    DWORD data = *value;
    DWORD size = sizeof data;
    const LONG error = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    if (error == ERROR_SUCCESS) *value = data;
    return error;
}

LONG WriteDwordValue(HKEY key, const wchar_t* name, DWORD value)
{
    return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

LONG QueryValuePresence(HKEY key, const wchar_t* name)
{
    return RegQueryValueExW(key, name, nullptr, nullptr, nullptr, nullptr);
}

LONG ReadStringValue(HKEY key, const wchar_t* name, wchar_t* dest, DWORD destUnits)
{
    constexpr DWORD kMaxUnits = MAX_PATH;
    if (destUnits == 0 || destUnits > kMaxUnits) return ERROR_INVALID_PARAMETER;
    wchar_t data[kMaxUnits];
    DWORD size = destUnits * sizeof(wchar_t);
    const LONG error = RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
    if (error != ERROR_SUCCESS) return error;
    DWORD units = size / sizeof(wchar_t);
    if (units == 0 || data[units - 1] != L'\0') {
        if (units == destUnits) return ERROR_MORE_DATA;
        data[units++] = L'\0';
    }
    wmemcpy(dest, data, units);
    return ERROR_SUCCESS;
}
