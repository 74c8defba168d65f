#include "function_sources.h"

#include "unique_handle.h"

BOOL QueryMachineValue(const wchar_t* subKey, const wchar_t* valueName, DWORD* value)
{
    UniqueHkey key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return FALSE;
    // Read into a copy: after a failed read (ERROR_MORE_DATA) the buffer's contents are undefined.
    DWORD data = *value;
    DWORD size = sizeof data;
    const LONG error = RegQueryValueExW(key.Get(), valueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size);
    if (error != ERROR_SUCCESS) return FALSE;
    *value = data;
    return TRUE;
}
