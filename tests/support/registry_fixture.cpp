#include "registry_fixture.h"

#include <stdexcept>

namespace testreg {

namespace {
void Check(LONG error, const char* what)
{
    if (error != ERROR_SUCCESS) throw std::runtime_error(std::string(what) + " failed: " + std::to_string(error));
}

HKEY Create(HKEY root, const wchar_t* path)
{
    HKEY key = nullptr;
    Check(RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr), "RegCreateKeyExW");
    return key;
}
}  // namespace

void DeleteTree(const wchar_t* path, HKEY root)
{
    const LONG error = RegDeleteTreeW(root, path);
    if (error != ERROR_SUCCESS && error != ERROR_FILE_NOT_FOUND) Check(error, "RegDeleteTreeW");
    // RegDeleteTreeW empties the key; remove the key itself too.
    const LONG keyError = RegDeleteKeyW(root, path);
    if (keyError != ERROR_SUCCESS && keyError != ERROR_FILE_NOT_FOUND) Check(keyError, "RegDeleteKeyW");
}

void CreateKey(const wchar_t* path, HKEY root)
{
    RegCloseKey(Create(root, path));
}

bool KeyExists(const wchar_t* path, HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

void SetRaw(const wchar_t* path, const wchar_t* name, DWORD type, const void* data, DWORD size, HKEY root)
{
    HKEY key = Create(root, path);
    const LONG error = RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    Check(error, "RegSetValueExW");
}

void SetDword(const wchar_t* path, const wchar_t* name, DWORD value, HKEY root)
{
    SetRaw(path, name, REG_DWORD, &value, sizeof value, root);
}

void SetQword(const wchar_t* path, const wchar_t* name, uint64_t value, HKEY root)
{
    SetRaw(path, name, REG_QWORD, &value, sizeof value, root);
}

void SetString(const wchar_t* path, const wchar_t* name, const std::wstring& value, HKEY root)
{
    SetRaw(path, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)), root);
}

void DeleteValue(const wchar_t* path, const wchar_t* name, HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegDeleteValueW(key, name);
    RegCloseKey(key);
}

std::optional<DWORD> GetDword(const wchar_t* path, const wchar_t* name, HKEY root)
{
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0;
    BYTE data[16] = {};
    DWORD size = sizeof data;
    const LONG error = RegQueryValueExW(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (error != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(DWORD)) return std::nullopt;
    DWORD value = 0;
    memcpy(&value, data, sizeof value);
    return value;
}

std::vector<std::wstring> SubkeyNames(const wchar_t* path, HKEY root)
{
    std::vector<std::wstring> names;
    HKEY key = nullptr;
    if (RegOpenKeyExW(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD units = ARRAYSIZE(name);
        if (RegEnumKeyExW(key, index, name, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, units);
    }
    RegCloseKey(key);
    return names;
}

}  // namespace testreg
