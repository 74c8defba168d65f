// hotkeysrc: stand-in for the product's hotkey source (the power-management service on machines
// with an ACPI hotkey device, the system-event component elsewhere). It owns the Parameters root
// of its family and the values in it.
//
//   hotkeysrc seed <powermanager|systemevent> [name=value ...]
//
// creates the root with its "Capability", "CurrentSetting", "Notification" and (when asked)
// "OverrideSetting" subkeys. Names: capability (class-01 hotkeys offered), internal
// (IsExistPMInternalFunction), override (OverrideCapability), type2 (class-02 events offered),
// current (CurrentSetting), overridesetting (OverrideSetting), disable (the shared "Disable").
// Values are decimal or 0x-hex.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

constexpr const wchar_t* kPowerManagerRoot = L"SYSTEM\\CurrentControlSet\\Services\\KVXPMSVC\\Parameters";
constexpr const wchar_t* kSystemEventRoot = L"Software\\Norvane\\SystemEvent";
constexpr const wchar_t* kDisableKey = L"SOFTWARE\\NORVANE\\QVHOTKEY\\CLASS\\01";

bool SetDword(const std::wstring& path, const wchar_t* name, DWORD value)
{
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const LONG error = RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    RegCloseKey(key);
    return error == ERROR_SUCCESS;
}

struct Seed {
    DWORD capability = 0;
    bool hasInternal = false;
    DWORD internal = 0;
    bool hasOverride = false;
    DWORD override = 0;
    bool hasType2 = false;
    DWORD type2 = 0;
    DWORD current = 0;
    bool hasOverrideSetting = false;
    DWORD overrideSetting = 0;
    bool hasDisable = false;
    DWORD disable = 0;
};

bool Parse(const wchar_t* arg, Seed* seed)
{
    const wchar_t* eq = std::wcschr(arg, L'=');
    if (eq == nullptr) return false;
    const std::wstring name(arg, eq);
    struct Field {
        const wchar_t* name;
        DWORD* value;
        bool* given;
    };
    const Field fields[] = {
        {L"capability", &seed->capability, nullptr},
        {L"internal", &seed->internal, &seed->hasInternal},
        {L"override", &seed->override, &seed->hasOverride},
        {L"type2", &seed->type2, &seed->hasType2},
        {L"current", &seed->current, nullptr},
        {L"overridesetting", &seed->overrideSetting, &seed->hasOverrideSetting},
        {L"disable", &seed->disable, &seed->hasDisable},
    };
    for (const auto& field : fields) {
        if (name != field.name) continue;
        *field.value = std::wcstoul(eq + 1, nullptr, 0);
        if (field.given != nullptr) *field.given = true;
        return true;
    }
    return false;
}

int Usage()
{
    std::fwprintf(stderr, L"usage: hotkeysrc seed <powermanager|systemevent> [name=value ...]\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3 || std::wcscmp(argv[1], L"seed") != 0) return Usage();
    const wchar_t* root = nullptr;
    if (std::wcscmp(argv[2], L"powermanager") == 0) root = kPowerManagerRoot;
    if (std::wcscmp(argv[2], L"systemevent") == 0) root = kSystemEventRoot;
    if (root == nullptr) return Usage();
    Seed seed;
    for (int i = 3; i < argc; ++i) {
        if (!Parse(argv[i], &seed)) return Usage();
    }

    const std::wstring base(root);
    bool ok = SetDword(base + L"\\Capability", nullptr, seed.capability);
    if (seed.hasInternal) ok = ok && SetDword(base + L"\\Capability", L"IsExistPMInternalFunction", seed.internal);
    if (seed.hasOverride) ok = ok && SetDword(base + L"\\Capability", L"OverrideCapability", seed.override);
    if (seed.hasType2) ok = ok && SetDword(base + L"\\Capability", L"Type2", seed.type2);
    ok = ok && SetDword(base + L"\\CurrentSetting", nullptr, seed.current);
    ok = ok && SetDword(base + L"\\Notification", nullptr, 0);
    ok = ok && SetDword(base + L"\\Notification", L"Type2", 0);
    if (seed.hasOverrideSetting) ok = ok && SetDword(base + L"\\OverrideSetting", nullptr, seed.overrideSetting);
    if (seed.hasDisable) ok = ok && SetDword(kDisableKey, L"Disable", seed.disable);
    if (!ok) {
        std::fwprintf(stderr, L"hotkeysrc: could not write below HKLM\\%ls\n", root);
        return 1;
    }
    std::wprintf(L"seeded HKLM\\%ls\n", root);
    return 0;
}
