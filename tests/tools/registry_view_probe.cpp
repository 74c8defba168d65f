// registry_view_probe <wow64|native>: drives every registry open and create the service makes --
// the Parameters root and its subkeys, both class synchronisations, handler resolution (the
// hotkey subkeys of both classes and the "8001" fallback key), the notification watcher's starting
// values and pass (the root, and "Notification" opened below it) and the control handler's two
// toggles -- with isWow64 set (wow64) or clear
// (native), between the markers BEGIN-OPENS and END-OPENS on stderr. Run under WINEDEBUG=+reg,
// wine traces the access mask of each open at the ntdll boundary, so check-registry-view can prove
// that every open carries KEY_WOW64_64KEY exactly when the 32-bit service would run on 64-bit
// Windows. The flag's effect itself cannot be seen from a 64-bit process; what is checked is the
// request the service makes.
#include <windows.h>

#include <cstdio>
#include <cwchar>

#include "dispatch/handler_resolution.h"
#include "dispatch/notification_watcher.h"
#include "host/control_handler.h"
#include "host/service_state.h"
#include "hotkey_registry.h"
#include "registry/hotkey_sync.h"
#include "registry/registry_keys.h"
#include "test_files.h"
#include "unique_handle.h"

using namespace testreg;

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return 2;
    const BOOL wow64 = std::wcscmp(argv[1], L"wow64") == 0;

    CleanHotkeyRegistry clean;
    for (const wchar_t* root : {kSystemEventRoot, kPowerManagerRoot}) {
        const std::wstring base(root);
        SetDword((base + L"\\Capability").c_str(), nullptr, 0x3);
        SetDword((base + L"\\Capability").c_str(), L"OverrideCapability", 0x4);
        SetDword((base + L"\\Capability").c_str(), L"Type2", 0x1);
        SetDword((base + L"\\CurrentSetting").c_str(), nullptr, 0);
        SetDword((base + L"\\OverrideSetting").c_str(), nullptr, 0);
        SetDword((base + L"\\Notification").c_str(), nullptr, 0);
    }
    SetDword(kNorvaneClass01, L"Disable", 0);
    // Registered handlers with every value resolution reads, in both classes of both families.
    for (const wchar_t* classKey : {kNorvaneClass01, kNorvaneClass02, kKvxClass01, kKvxClass02}) {
        const std::wstring subkey = std::wstring(classKey) + L"\\02";
        SetString(subkey.c_str(), L"File", L"C:\\handler.exe");
        SetString(subkey.c_str(), L"Parameters", L"-p");
        SetDword(subkey.c_str(), L"NACondition", 0);
        SetDword(subkey.c_str(), L"LockedMode", 1);
        SetDword(subkey.c_str(), L"NativePath", 1);
    }
    SetString(kFallback8001Key, L"File", L"C:\\tool 8001.exe");
    testfiles::ScratchDir emptyProgramDir;  // no default programs: HotkeyNumber 24 falls back to "8001"

    std::fprintf(stderr, "BEGIN-OPENS\n");
    std::fflush(stderr);
    g_serviceState.isWow64 = wow64;
    g_serviceState.isWindows7OrLater = TRUE;
    wcscpy(g_serviceState.programDir, emptyProgramDir.Path().c_str());
    bool ok = true;
    for (const KeyFamily family : {KeyFamily::SystemEvent, KeyFamily::PowerManager}) {
        g_serviceState.keyFamily = family;
        ok = ok && ParametersRootExists(wow64, family);
        UniqueHkey key;
        ok = ok && OpenParametersKey(L"Capability", KEY_READ, key.Put(), wow64, family) == ERROR_SUCCESS;
        DWORD mask = 0;
        ok = SynchronizeClass01(&mask) && ok;
        ok = SynchronizeClass02(&mask) && ok;
        HandlerSpec handler;
        ok = ResolveHandler(HotkeyClass::Class01, 1, &handler) && ok;
        ok = ResolveHandler(HotkeyClass::Class02, 1, &handler) && ok;
        // The watcher reads its starting values, the control handler toggles a bit of each of its
        // values, and the watcher's pass reads the press it finds.
        UniqueKernelHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
        NotificationWatch watch(WatchMasks{}, changed.Get(), [](HotkeyClass, DWORD) { return true; });
        watch.ReadStartingValues();
        ok = ToggleCurrentSettingBit(1) && ok;
        ok = ToggleNotificationBit(1) && ok;
        ok = watch.Pass() == INFINITE && !watch.Memory().freshStart && ok;
    }
    HandlerSpec fallback;
    ok = ResolveHandler(HotkeyClass::Class01, 23, &fallback) && ok;  // PowerManager is still the family
    std::fflush(stdout);
    std::fprintf(stderr, "END-OPENS\n");
    std::fflush(stderr);
    testreg::DeleteTree(kFallback8001Key);
    return ok ? 0 : 1;
}
