// A clean hotkey registry for one test: removes both families' Parameters roots and class keys
// (and the fixed fallback key) when created and again when destroyed.
#pragma once

#include "registry_fixture.h"

inline constexpr const wchar_t* kSystemEventRoot = L"Software\\Norvane\\SystemEvent";
inline constexpr const wchar_t* kPowerManagerService = L"SYSTEM\\CurrentControlSet\\Services\\KVXPMSVC";
inline constexpr const wchar_t* kPowerManagerRoot = L"SYSTEM\\CurrentControlSet\\Services\\KVXPMSVC\\Parameters";
inline constexpr const wchar_t* kNorvaneClass01 = L"SOFTWARE\\NORVANE\\QVHOTKEY\\CLASS\\01";
inline constexpr const wchar_t* kNorvaneClass02 = L"SOFTWARE\\NORVANE\\QVHOTKEY\\CLASS\\02";
inline constexpr const wchar_t* kKvxClass01 = L"SOFTWARE\\KVX\\QVHOTKEY\\CLASS\\01";
inline constexpr const wchar_t* kKvxClass02 = L"SOFTWARE\\KVX\\QVHOTKEY\\CLASS\\02";

class CleanHotkeyRegistry {
public:
    CleanHotkeyRegistry() { Wipe(); }
    ~CleanHotkeyRegistry() { Wipe(); }
    CleanHotkeyRegistry(const CleanHotkeyRegistry&) = delete;
    CleanHotkeyRegistry& operator=(const CleanHotkeyRegistry&) = delete;

    static void Wipe()
    {
        testreg::DeleteTree(kSystemEventRoot);
        testreg::DeleteTree(kPowerManagerService);
        testreg::DeleteTree(L"SOFTWARE\\NORVANE\\QVHOTKEY");
        testreg::DeleteTree(L"SOFTWARE\\KVX\\QVHOTKEY");
    }
};
