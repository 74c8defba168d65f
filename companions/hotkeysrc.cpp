// hotkeysrc: stand-in for the product's hotkey source (the power-management service on machines
// with an ACPI hotkey device, the system-event component elsewhere). It owns the Parameters root
// of its family and signals key presses in it.
//
//   hotkeysrc seed <powermanager|systemevent> [name=value ...]
//     creates the root with its "Capability", "CurrentSetting", "Notification" and (when asked)
//     "OverrideSetting" subkeys. Names: capability (class-01 hotkeys offered), internal
//     (IsExistPMInternalFunction), override (OverrideCapability), type2 (class-02 events offered),
//     current (CurrentSetting), overridesetting (OverrideSetting), disable (the shared "Disable").
//     Values are decimal or 0x-hex.
//   hotkeysrc press <powermanager|systemevent> <01|02> <n>
//     one press of class-01 hotkey n or class-02 event n (1..32): the press signal written once
//     with bit n-1 inverted.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "hotkey_source.h"
#include "registry/registry_paths.h"

namespace {

bool ParseFamily(const wchar_t* text, KeyFamily* family)
{
    if (std::wcscmp(text, L"powermanager") == 0) *family = KeyFamily::PowerManager;
    else if (std::wcscmp(text, L"systemevent") == 0) *family = KeyFamily::SystemEvent;
    else return false;
    return true;
}

bool ParseSeedValue(const wchar_t* arg, HotkeySourceSeed* seed)
{
    const wchar_t* eq = std::wcschr(arg, L'=');
    if (eq == nullptr) return false;
    const std::wstring name(arg, eq);
    const DWORD value = std::wcstoul(eq + 1, nullptr, 0);
    if (name == L"capability") seed->capability = value;
    else if (name == L"internal") seed->internal = value;
    else if (name == L"override") seed->override = value;
    else if (name == L"type2") seed->type2 = value;
    else if (name == L"current") seed->currentSetting = value;
    else if (name == L"overridesetting") seed->overrideSetting = value;
    else if (name == L"disable") seed->disable = value;
    else return false;
    return true;
}

int Usage()
{
    std::fwprintf(stderr, L"usage: hotkeysrc seed <powermanager|systemevent> [name=value ...]\n"
                          L"       hotkeysrc press <powermanager|systemevent> <01|02> <n>\n");
    return 2;
}

int Seed(KeyFamily family, int count, wchar_t** values)
{
    HotkeySourceSeed seed;
    for (int i = 0; i < count; ++i) {
        if (!ParseSeedValue(values[i], &seed)) return Usage();
    }
    if (!SeedHotkeySource(family, seed)) {
        std::fwprintf(stderr, L"hotkeysrc: could not write below HKLM\\%ls\n", ParametersRootPath(family));
        return 1;
    }
    std::wprintf(L"seeded HKLM\\%ls\n", ParametersRootPath(family));
    return 0;
}

int Press(KeyFamily family, const wchar_t* classText, const wchar_t* numberText)
{
    HotkeyClass hotkeyClass;
    if (std::wcscmp(classText, L"01") == 0) hotkeyClass = HotkeyClass::Class01;
    else if (std::wcscmp(classText, L"02") == 0) hotkeyClass = HotkeyClass::Class02;
    else return Usage();
    const DWORD number = std::wcstoul(numberText, nullptr, 10);
    if (!PressHotkey(family, hotkeyClass, number)) {
        std::fwprintf(stderr, L"hotkeysrc: could not press %ls %lu\n", classText, static_cast<unsigned long>(number));
        return 1;
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    KeyFamily family;
    if (argc >= 3 && std::wcscmp(argv[1], L"seed") == 0 && ParseFamily(argv[2], &family)) {
        return Seed(family, argc - 3, argv + 3);
    }
    if (argc == 5 && std::wcscmp(argv[1], L"press") == 0 && ParseFamily(argv[2], &family)) {
        return Press(family, argv[3], argv[4]);
    }
    return Usage();
}
