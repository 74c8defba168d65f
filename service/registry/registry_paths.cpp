#include "registry/registry_paths.h"

#include "bounded_string.h"

const wchar_t* ParametersRootPath(KeyFamily family)
{
    return family == KeyFamily::PowerManager ? L"SYSTEM\\CurrentControlSet\\Services\\KVXPMSVC\\Parameters"
                                             : L"Software\\Norvane\\SystemEvent";
}

const wchar_t* ClassKeyPath(KeyFamily family, HotkeyClass hotkeyClass)
{
    if (family == KeyFamily::PowerManager) {
        return hotkeyClass == HotkeyClass::Class01 ? L"SOFTWARE\\KVX\\QVHOTKEY\\CLASS\\01"
                                                   : L"SOFTWARE\\KVX\\QVHOTKEY\\CLASS\\02";
    }
    return hotkeyClass == HotkeyClass::Class01 ? L"SOFTWARE\\NORVANE\\QVHOTKEY\\CLASS\\01"
                                               : L"SOFTWARE\\NORVANE\\QVHOTKEY\\CLASS\\02";
}

bool FormatHotkeySubkeyName(wchar_t* dest, size_t destUnits, DWORD index)
{
    return BoundedFormat(dest, destUnits, L"%02X", static_cast<unsigned>(index + 1));
}
