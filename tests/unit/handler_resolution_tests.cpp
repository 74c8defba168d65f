#include <doctest.h>

#include <string>

#include "dispatch/handler_resolution.h"
#include "host/service_state.h"
#include "hotkey_registry.h"
#include "standins.h"
#include "test_files.h"

using namespace testreg;

namespace {

std::wstring Subkey(const wchar_t* classKey, const wchar_t* name)
{
    return std::wstring(classKey) + L"\\" + name;
}

// A machine for resolution: a clean hotkey registry, a service directory with the default
// programs a test puts there, and the service state dispatch reads, set by hand: resolution is
// tested for both families, with and without the driver, before and from Windows 7 and as the
// 32-bit service on 64-bit Windows, which the service under wine never is by itself.
struct ResolutionMachine {
    CleanHotkeyRegistry clean;
    testfiles::ScratchDir programDir;

    explicit ResolutionMachine(KeyFamily family = KeyFamily::SystemEvent, BOOL windows7 = TRUE, BOOL wow64 = FALSE,
                               DWORD driverPresent = 0)
    {
        g_serviceState.keyFamily = family;
        g_serviceState.isWindows7OrLater = windows7;
        g_serviceState.isWow64 = wow64;
        g_serviceState.driverPresent = driverPresent;
        wcscpy(g_serviceState.programDir, programDir.Path().c_str());
    }
    ~ResolutionMachine()
    {
        testreg::DeleteTree(kFallback8001Key);
        g_serviceState.isWow64 = FALSE;
    }
    std::wstring Default(const wchar_t* name) const { return programDir.Path() + L"\\" + name; }
};

struct Expected {
    const wchar_t* path;  // null: resolution fails
    const wchar_t* commandLine;
    DWORD lockedMode;
    DWORD nativePath;
};

void CheckResolves(HotkeyClass hotkeyClass, DWORD index, const Expected& expected)
{
    HandlerSpec handler;
    const bool resolved = ResolveHandler(hotkeyClass, index, &handler);
    REQUIRE(resolved == (expected.path != nullptr));
    if (!resolved) return;
    CHECK(std::wstring(handler.applicationPath) == expected.path);
    CHECK(std::wstring(handler.commandLine) == expected.commandLine);
    CHECK(handler.lockedMode == expected.lockedMode);
    CHECK(handler.nativePath == expected.nativePath);
}

}  // namespace

TEST_SUITE("resolution") {
TEST_CASE("a registered handler needs File and Parameters and a clear NACondition")
{
    struct Row {
        const char* name;
        const wchar_t* file;        // null: absent
        const wchar_t* parameters;  // null: absent
        DWORD naCondition;          // 0xFFFFFFFF: absent
        DWORD driverPresent;
        bool registeredWins;  // else the default program
        const wchar_t* commandLine;
    };
    const Row rows[] = {
        {"File and Parameters", L"C:\\Tools\\hk.exe", L"-a b", 0xFFFFFFFF, 0, true, L"C:\\Tools\\hk.exe -a b"},
        {"path with spaces stays unquoted", L"C:\\Program Files\\Hot Key\\hk.exe", L"/x", 0xFFFFFFFF, 0, true,
         L"C:\\Program Files\\Hot Key\\hk.exe /x"},
        {"empty Parameters: the path alone", L"C:\\Tools\\hk.exe", L"", 0xFFFFFFFF, 0, true, L"C:\\Tools\\hk.exe"},
        {"File without Parameters", L"C:\\Tools\\hk.exe", nullptr, 0xFFFFFFFF, 0, false, nullptr},
        {"Parameters without File", nullptr, L"-a", 0xFFFFFFFF, 0, false, nullptr},
        {"NACondition 1 with the driver present", L"C:\\Tools\\hk.exe", L"", 1, 1, false, nullptr},
        {"NACondition 1 without the driver", L"C:\\Tools\\hk.exe", L"", 1, 0, true, L"C:\\Tools\\hk.exe"},
        {"only bit 0 of NACondition counts", L"C:\\Tools\\hk.exe", L"", 0xFFFFFFFE, 1, true, L"C:\\Tools\\hk.exe"},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        ResolutionMachine machine(KeyFamily::SystemEvent, TRUE, FALSE, row.driverPresent);
        const std::wstring fallback = machine.programDir.Touch(L"ostrel2.exe");
        const std::wstring key = Subkey(kNorvaneClass01, L"02");
        CreateKey(key.c_str());
        if (row.file) SetString(key.c_str(), L"File", row.file);
        if (row.parameters) SetString(key.c_str(), L"Parameters", row.parameters);
        if (row.naCondition != 0xFFFFFFFF) SetDword(key.c_str(), L"NACondition", row.naCondition);
        if (row.registeredWins) {
            CheckResolves(HotkeyClass::Class01, 1, {row.file, row.commandLine, 0, 0});
        } else {
            CheckResolves(HotkeyClass::Class01, 1, {fallback.c_str(), fallback.c_str(), 0, 0});
        }
    }
}

TEST_CASE("the default program beside the service, and LockedMode and NativePath of the subkey")
{
    ResolutionMachine machine;
    const std::wstring ostrel5 = machine.programDir.Touch(L"ostrel5.exe");
    const std::wstring ostrel4 = machine.programDir.Touch(L"ostrel4.exe");
    const std::wstring brisk12 = machine.programDir.Touch(L"brisk_12.exe");
    const std::wstring brisk5 = machine.programDir.Touch(L"brisk_5.exe");

    // HotkeyNumber 5 of class 01 may go to the logon desktop by default; nothing else may.
    CheckResolves(HotkeyClass::Class01, 4, {ostrel5.c_str(), ostrel5.c_str(), 1, 0});
    CheckResolves(HotkeyClass::Class01, 3, {ostrel4.c_str(), ostrel4.c_str(), 0, 0});
    CheckResolves(HotkeyClass::Class02, 11, {brisk12.c_str(), brisk12.c_str(), 0, 0});
    CheckResolves(HotkeyClass::Class02, 4, {brisk5.c_str(), brisk5.c_str(), 0, 0});
    CheckResolves(HotkeyClass::Class01, 8, {nullptr, nullptr, 0, 0});  // no ostrel9.exe

    SetDword(Subkey(kNorvaneClass01, L"05").c_str(), L"LockedMode", 0);
    SetDword(Subkey(kNorvaneClass01, L"05").c_str(), L"NativePath", 1);
    SetDword(Subkey(kNorvaneClass02, L"0C").c_str(), L"LockedMode", 1);
    SetQword(Subkey(kNorvaneClass01, L"04").c_str(), L"LockedMode", 1);  // not read: keeps 0
    CheckResolves(HotkeyClass::Class01, 4, {ostrel5.c_str(), ostrel5.c_str(), 0, 1});
    CheckResolves(HotkeyClass::Class02, 11, {brisk12.c_str(), brisk12.c_str(), 1, 0});
    CheckResolves(HotkeyClass::Class01, 3, {ostrel4.c_str(), ostrel4.c_str(), 0, 0});
}

TEST_CASE("the fixed fallbacks of class-01 HotkeyNumbers 7 and 24")
{
    SUBCASE("DisplaySwitch.exe from Windows 7 on, in the native system directory on 64-bit Windows")
    {
        for (const BOOL wow64 : {FALSE, TRUE}) {
            CAPTURE(wow64);
            ResolutionMachine machine(KeyFamily::SystemEvent, TRUE, wow64);
            SetDword(Subkey(kNorvaneClass01, L"07").c_str(), L"NativePath", wow64 ? 0 : 1);  // replaced either way
            SetDword(Subkey(kNorvaneClass01, L"07").c_str(), L"LockedMode", 1);
            CheckResolves(HotkeyClass::Class01, 6, {L"DisplaySwitch.exe", L"DisplaySwitch.exe", 1, wow64 ? 1u : 0u});
        }
        ResolutionMachine beforeWindows7(KeyFamily::SystemEvent, FALSE);
        CheckResolves(HotkeyClass::Class01, 6, {nullptr, nullptr, 0, 0});
    }
    SUBCASE("the 8001 key, only in the power-management family")
    {
        {
            ResolutionMachine machine(KeyFamily::PowerManager);
            SetString(kFallback8001Key, L"File", L"C:\\Nowhere\\tool 8001.exe");  // used as stored
            CheckResolves(HotkeyClass::Class01, 23, {L"C:\\Nowhere\\tool 8001.exe", L"C:\\Nowhere\\tool 8001.exe", 0, 0});
            CheckResolves(HotkeyClass::Class02, 23, {nullptr, nullptr, 0, 0});  // class 02 never falls back
        }
        ResolutionMachine systemEvent(KeyFamily::SystemEvent);
        SetString(kFallback8001Key, L"File", L"C:\\Nowhere\\tool 8001.exe");
        CheckResolves(HotkeyClass::Class01, 23, {nullptr, nullptr, 0, 0});
    }
    SUBCASE("a default program comes first; class 02 never falls back")
    {
        ResolutionMachine machine;
        const std::wstring ostrel7 = machine.programDir.Touch(L"ostrel7.exe");
        CheckResolves(HotkeyClass::Class01, 6, {ostrel7.c_str(), ostrel7.c_str(), 0, 0});
        CheckResolves(HotkeyClass::Class02, 6, {nullptr, nullptr, 0, 0});
    }
}

TEST_CASE("text limits: 260 units with the terminator, always terminated")
{
    const std::wstring longest(259, L'f');  // with its NUL: exactly 520 bytes
    const std::wstring tooLong(260, L'f');
    struct Row {
        const char* name;
        std::wstring file;
        bool terminated;  // stored with its NUL
        const wchar_t* parameters;
        bool registered;
    };
    const Row rows[] = {
        {"259 units and NUL", longest, true, L"", true},
        {"260 units and NUL", tooLong, true, L"", false},
        {"259 units stored without NUL", longest, false, L"", true},
        {"260 units stored without NUL: no room for the terminator", tooLong, false, L"", false},
        {"Parameters too long", L"C:\\hk.exe", true, tooLong.c_str(), false},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        ResolutionMachine machine;
        const std::wstring fallback = machine.programDir.Touch(L"ostrel3.exe");
        const std::wstring key = Subkey(kNorvaneClass01, L"03");
        const DWORD bytes = static_cast<DWORD>((row.file.size() + (row.terminated ? 1 : 0)) * sizeof(wchar_t));
        SetRaw(key.c_str(), L"File", REG_SZ, row.file.c_str(), bytes);
        SetString(key.c_str(), L"Parameters", row.parameters);
        if (row.registered) {
            CheckResolves(HotkeyClass::Class01, 2, {row.file.c_str(), row.file.c_str(), 0, 0});
        } else {
            CheckResolves(HotkeyClass::Class01, 2, {fallback.c_str(), fallback.c_str(), 0, 0});
        }
    }
}

TEST_CASE("a command line or default path that does not fit fails resolution")
{
    {
        ResolutionMachine machine;
        const std::wstring key = Subkey(kNorvaneClass01, L"01");
        SetString(key.c_str(), L"File", L"C:\\" + std::wstring(200, L'p') + L".exe");
        SetString(key.c_str(), L"Parameters", std::wstring(60, L'a'));  // path, space, parameters: 266 units
        CheckResolves(HotkeyClass::Class01, 0, {nullptr, nullptr, 0, 0});
    }
    {
        ResolutionMachine machine;
        std::wstring deep(250, L'd');
        wcscpy(g_serviceState.programDir, (L"C:\\" + deep).c_str());  // "...\ostrel1.exe" exceeds 259 units
        CheckResolves(HotkeyClass::Class01, 0, {nullptr, nullptr, 0, 0});
    }
}
}
