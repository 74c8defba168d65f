// Test-side access to the real registry under wine: arrange keys and values, read back what the
// code under test wrote, and remove everything a test created.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testreg {

// All paths are below HKEY_LOCAL_MACHINE unless a root is given.
void DeleteTree(const wchar_t* path, HKEY root = HKEY_LOCAL_MACHINE);
void CreateKey(const wchar_t* path, HKEY root = HKEY_LOCAL_MACHINE);
bool KeyExists(const wchar_t* path, HKEY root = HKEY_LOCAL_MACHINE);

// Writes a value of any type and size (creating the key). `name` null is the default value.
void SetRaw(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size,
            HKEY root = HKEY_LOCAL_MACHINE);
void SetDword(const wchar_t* path, const wchar_t* name, DWORD value, HKEY root = HKEY_LOCAL_MACHINE);
void SetQword(const wchar_t* path, const wchar_t* name, uint64_t value, HKEY root = HKEY_LOCAL_MACHINE);
void SetString(const wchar_t* path, const wchar_t* name, const std::wstring& value, HKEY root = HKEY_LOCAL_MACHINE);
void DeleteValue(const wchar_t* path, const wchar_t* name, HKEY root = HKEY_LOCAL_MACHINE);

// A REG_DWORD value as stored, or nothing when the value is missing or not a 4-byte REG_DWORD.
std::optional<DWORD> GetDword(const wchar_t* path, const wchar_t* name, HKEY root = HKEY_LOCAL_MACHINE);
// Names of the direct subkeys, in the registry's order.
std::vector<std::wstring> SubkeyNames(const wchar_t* path, HKEY root = HKEY_LOCAL_MACHINE);

}  // namespace testreg
