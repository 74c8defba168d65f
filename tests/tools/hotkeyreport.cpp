// hotkeyreport: shows on one machine what the service's registry layer decides at start-up:
// the hotkey device and family it detects, the Parameters root it checks, and the outcome of
// both class synchronisations, with the registry values before and after. It sets the service
// state the way the service does at start.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "host/service_state.h"
#include "host/startup_state.h"
#include "registry/device_detection.h"
#include "registry/driver_probe.h"
#include "registry/hotkey_sync.h"
#include "registry/registry_keys.h"
#include "registry/registry_paths.h"
#include "unique_handle.h"

namespace {

const ServiceState& state = g_serviceState;

// A DWORD value as text, or "(absent)".
std::wstring Value(HKEY root, const std::wstring& path, const wchar_t* name)
{
    UniqueHkey key;
    if (OpenRegistryKey(root, path.c_str(), KEY_READ, key.Put(), state.isWow64) != ERROR_SUCCESS) return L"(no key)";
    DWORD value = 0;
    if (ReadDwordValue(key.Get(), name, &value) != ERROR_SUCCESS) return L"(absent)";
    wchar_t text[16];
    swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(value));
    return text;
}

std::vector<std::wstring> Subkeys(const wchar_t* path)
{
    std::vector<std::wstring> names;
    UniqueHkey key;
    if (OpenRegistryKey(HKEY_LOCAL_MACHINE, path, KEY_READ, key.Put(), state.isWow64) != ERROR_SUCCESS) return names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[64];
        DWORD units = ARRAYSIZE(name);
        if (RegEnumKeyExW(key.Get(), index, name, &units, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name);
    }
    return names;
}

std::wstring NewSubkeys(const std::vector<std::wstring>& before, const std::vector<std::wstring>& after)
{
    std::wstring list;
    for (const auto& name : after) {
        bool existed = false;
        for (const auto& old : before) existed = existed || old == name;
        if (!existed) list += L" " + name;
    }
    return list.empty() ? L" (none)" : list;
}

std::wstring Param(const wchar_t* subkey)
{
    return std::wstring(ParametersRootPath(state.keyFamily)) + L"\\" + subkey;
}

}  // namespace

int wmain()
{
    // The service's own start-up decisions.
    DetectPlatform(&g_serviceState);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExW(&version);
    const bool powerManager = state.keyFamily == KeyFamily::PowerManager;

    std::wprintf(L"Machine\n");
    for (const wchar_t* ids : {kNrv0068Ids, kNrv0168Ids, kKvx0068Ids}) {
        std::wprintf(L"  device %-14ls %ls\n", ids, FindDeviceByHardwareId(ids) ? L"present" : L"-");
    }
    std::wprintf(L"  family                %ls\n", powerManager ? L"PowerManager" : L"SystemEvent");
    std::wprintf(L"  Windows               %lu.%lu (Windows 7 or later: %ls)\n", version.dwMajorVersion,
                 version.dwMinorVersion, state.isWindows7OrLater ? L"yes" : L"no");
    std::wprintf(L"  Wow64                 %ls\n", state.isWow64 ? L"yes (64-bit registry view)" : L"no");
    std::wprintf(L"  driver                %ls\n", ProbeDriver() ? L"answers" : L"absent");
    const BOOL rootExists = ParametersRootExists(state.isWow64, state.keyFamily);
    std::wprintf(L"  Parameters root       HKLM\\%ls: %ls\n", ParametersRootPath(state.keyFamily),
                 rootExists ? L"exists" : L"MISSING (the service would stop here)");
    if (!rootExists) return 1;

    const wchar_t* class01 = ClassKeyPath(state.keyFamily, HotkeyClass::Class01);
    const wchar_t* class02 = ClassKeyPath(state.keyFamily, HotkeyClass::Class02);
    const auto subkeys01 = Subkeys(class01);
    const auto subkeys02 = Subkeys(class02);
    const std::wstring currentBefore = Value(HKEY_LOCAL_MACHINE, Param(kCurrentSettingKey), nullptr);
    const std::wstring overrideBefore = Value(HKEY_LOCAL_MACHINE, Param(kOverrideSettingKey), nullptr);

    std::wprintf(L"\nOffered (Capability)\n");
    std::wprintf(L"  class 01              %ls\n", Value(HKEY_LOCAL_MACHINE, Param(kCapabilityKey), nullptr).c_str());
    std::wprintf(L"  internal functions    %ls\n",
                 Value(HKEY_LOCAL_MACHINE, Param(kCapabilityKey), kInternalFunctionValue).c_str());
    std::wprintf(L"  overrides             %ls\n",
                 Value(HKEY_LOCAL_MACHINE, Param(kCapabilityKey), kOverrideCapabilityValue).c_str());
    std::wprintf(L"  class 02 (Type2)      %ls\n", Value(HKEY_LOCAL_MACHINE, Param(kCapabilityKey), kType2Value).c_str());
    std::wprintf(L"  Disable               %ls\n", Value(HKEY_LOCAL_MACHINE, kDisableKeyPath, kDisableValue).c_str());

    DWORD class01Mask = 0;
    DWORD class02Mask = 0;
    const bool ok01 = SynchronizeClass01(&class01Mask);
    const bool ok02 = SynchronizeClass02(&class02Mask);

    std::wprintf(L"\nClass 01 synchronisation: %ls\n", ok01 ? L"ok" : L"FAILED (the service would stop)");
    std::wprintf(L"  served and watched    0x%08lX\n", static_cast<unsigned long>(class01Mask));
    std::wprintf(L"  CurrentSetting        %ls -> %ls\n", currentBefore.c_str(),
                 Value(HKEY_LOCAL_MACHINE, Param(kCurrentSettingKey), nullptr).c_str());
    std::wprintf(L"  OverrideSetting       %ls -> %ls\n", overrideBefore.c_str(),
                 Value(HKEY_LOCAL_MACHINE, Param(kOverrideSettingKey), nullptr).c_str());
    std::wprintf(L"  HKLM\\%ls \"Capability\" = %ls\n", class01,
                 Value(HKEY_LOCAL_MACHINE, class01, kClassCapabilityValue).c_str());
    std::wprintf(L"  subkeys created      %ls\n", NewSubkeys(subkeys01, Subkeys(class01)).c_str());

    std::wprintf(L"\nClass 02 synchronisation: %ls\n", ok02 ? L"ok" : L"failed");
    std::wprintf(L"  served and watched    0x%08lX\n", static_cast<unsigned long>(class02Mask));
    std::wprintf(L"  HKLM\\%ls \"Serviced\" = %ls\n", class02, Value(HKEY_LOCAL_MACHINE, class02, kServicedValue).c_str());
    std::wprintf(L"  subkeys created      %ls\n", NewSubkeys(subkeys02, Subkeys(class02)).c_str());
    return ok01 ? 0 : 1;
}
