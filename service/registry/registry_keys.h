// Opening and creating keys of the hotkey registry in the right registry view, and reading and
// writing its 32-bit values. Every routine returns the Win32 error code of the call that failed.
#pragma once

#include <windows.h>

#include "registry/hotkey_types.h"

// The access mask every open and create of the service uses: `access`, plus KEY_WOW64_64KEY when
// the 64-bit view is wanted (the 32-bit service on 64-bit Windows), so that keys below SOFTWARE
// are shared with the product's native components.
constexpr REGSAM RegistryAccess(REGSAM access, BOOL use64BitView)
{
    return use64BitView ? (access | KEY_WOW64_64KEY) : access;
}

// Opens the family's Parameters root in HKLM, or with `subKey` the subkey below it. On failure
// the error of the failing open is returned, no key stays open, and *key is not written when the
// root itself failed. The caller closes the key it gets.
LONG OpenParametersKey(const wchar_t* subKey, REGSAM access, HKEY* key, BOOL isWow64, KeyFamily family);

// True when the family's Parameters root opens for reading; otherwise the open's error is the
// thread's last error (a failed start reports it).
BOOL ParametersRootExists(BOOL isWow64, KeyFamily family);

// RegOpenKeyExW / RegCreateKeyExW with the view added to the access mask.
LONG OpenRegistryKey(HKEY parent, const wchar_t* subKey, REGSAM access, HKEY* key, BOOL use64BitView);
LONG CreateRegistryKey(HKEY parent, const wchar_t* subKey, DWORD reserved, wchar_t* keyClass, DWORD options,
                       REGSAM access, LPSECURITY_ATTRIBUTES security, HKEY* key, DWORD* disposition,
                       BOOL use64BitView);

// Reads a value of at most 4 bytes into *value without looking at its type. A shorter value
// replaces only its own bytes of *value; a missing value or a longer one (a REG_QWORD, say) fails
// and leaves *value as it was. `name` null reads the default value.
LONG ReadDwordValue(HKEY key, const wchar_t* name, DWORD* value);

// Writes `value` as REG_DWORD.
LONG WriteDwordValue(HKEY key, const wchar_t* name, DWORD value);

// Asks for a value's size only; ERROR_SUCCESS when the value exists.
LONG QueryValuePresence(HKEY key, const wchar_t* name);

// Reads a string value of at most `destUnits` UTF-16 units, its terminator included, into `dest`,
// raw (no expansion, type not examined). The text in `dest` always ends inside the buffer: a value
// stored without a terminator is terminated after its last unit, and a value that leaves no room
// for the terminator fails like a longer one (ERROR_MORE_DATA). On failure `dest` is untouched.
LONG ReadStringValue(HKEY key, const wchar_t* name, wchar_t* dest, DWORD destUnits);
