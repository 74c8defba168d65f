#include <doctest.h>

#include <string>
#include <vector>

#include "host/service_state.h"
#include "hotkey_registry.h"
#include "registry/hotkey_sync.h"

using namespace testreg;

namespace {

std::wstring Path(const wchar_t* base, const wchar_t* sub)
{
    return std::wstring(base) + L"\\" + sub;
}

// The service state fields the synchronisation reads, set the way ServiceMain sets them, by hand:
// each synchronisation runs alone here, on both families and both sides of Windows 7, which one
// wine prefix never is at once (host.service_main runs them inside ServiceMain).
void UseMachine(KeyFamily family, BOOL windows7OrLater = TRUE, BOOL wow64 = FALSE)
{
    g_serviceState.keyFamily = family;
    g_serviceState.isWindows7OrLater = windows7OrLater;
    g_serviceState.isWow64 = wow64;
}

// A Parameters root as the hotkey source leaves it: the four subkeys with their default values.
struct Machine {
    const wchar_t* root;
    const wchar_t* class01;
    const wchar_t* class02;

    std::wstring Capability() const { return Path(root, L"Capability"); }
    std::wstring CurrentSetting() const { return Path(root, L"CurrentSetting"); }
    std::wstring OverrideSetting() const { return Path(root, L"OverrideSetting"); }

    void Seed(DWORD capability, DWORD currentSetting = 0) const
    {
        SetDword(Capability().c_str(), nullptr, capability);
        SetDword(CurrentSetting().c_str(), nullptr, currentSetting);
        SetDword(Path(root, L"Notification").c_str(), nullptr, 0);
    }
};

const Machine kSystemEvent{kSystemEventRoot, kNorvaneClass01, kNorvaneClass02};
const Machine kPowerManager{kPowerManagerRoot, kKvxClass01, kKvxClass02};

}  // namespace

TEST_SUITE("sync") {
TEST_CASE("class 01: the worked example, on Windows 7 and before it")
{
    struct Row {
        BOOL windows7;
        DWORD currentSetting;
    };
    for (const Row row : {Row{TRUE, 0x7F2}, Row{FALSE, 0x7B2}}) {
        CAPTURE(row.windows7);
        CleanHotkeyRegistry clean;
        UseMachine(KeyFamily::SystemEvent, row.windows7);
        kSystemEvent.Seed(0xFFF);
        SetDword(kSystemEvent.Capability().c_str(), L"OverrideCapability", 0x100000);
        SetDword(kNorvaneClass01, L"Disable", 0x1);
        SetString(Path(kNorvaneClass01, L"15").c_str(), L"File", L"C:\\override.exe");  // no "Parameters"
        SetDword(kSystemEvent.OverrideSetting().c_str(), nullptr, 0x4);

        DWORD mask = 0xdeadbeef;
        CHECK(SynchronizeClass01(&mask));
        CHECK(mask == 0x7F2);
        CHECK(GetDword(kSystemEvent.CurrentSetting().c_str(), nullptr) == row.currentSetting);
        CHECK(GetDword(kNorvaneClass01, L"Capability") == 0x1007F2u);
        CHECK(SubkeyNames(kNorvaneClass01) ==
              std::vector<std::wstring>{L"02", L"05", L"06", L"07", L"08", L"09", L"0A", L"0B", L"15"});
        CHECK(GetDword(kSystemEvent.OverrideSetting().c_str(), nullptr) == 0x4u);  // rewritten unchanged
        CHECK_FALSE(KeyExists(kKvxClass01));
    }
}

TEST_CASE("class 01: an override hotkey is watched only when its subkey has both File and Parameters")
{
    struct Row {
        const char* name;
        bool file;
        bool parameters;
        bool watched;
    };
    const Row rows[] = {
        {"File and Parameters", true, true, true},
        {"File only", true, false, false},
        {"Parameters only", false, true, false},
        {"neither", false, false, false},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        CleanHotkeyRegistry clean;
        UseMachine(KeyFamily::PowerManager);
        kPowerManager.Seed(0x1);
        SetDword(kPowerManager.Capability().c_str(), L"OverrideCapability", 0x800);  // HotkeyNumber 12, internal by default
        const std::wstring subkey = Path(kKvxClass01, L"0C");
        CreateKey(subkey.c_str());
        if (row.file) SetString(subkey.c_str(), L"File", L"C:\\Program Files\\tool.exe");
        if (row.parameters) SetString(subkey.c_str(), L"Parameters", L"");
        SetDword(kPowerManager.OverrideSetting().c_str(), nullptr, 0x1);

        DWORD mask = 0;
        CHECK(SynchronizeClass01(&mask));
        CHECK(mask == (row.watched ? 0x801u : 0x1u));
        CHECK(GetDword(kKvxClass01, L"Capability") == 0x801u);  // published whether watched or not
        CHECK(GetDword(kPowerManager.OverrideSetting().c_str(), nullptr) == (row.watched ? 0x801u : 0x1u));
        CHECK(GetDword(kPowerManager.CurrentSetting().c_str(), nullptr) == 0x1u);  // overrides are not switched on
    }
}

TEST_CASE("Disable counts only in the system-event class-01 key, and for both classes in both families")
{
    struct Row {
        const wchar_t* key;
        bool applies;
    };
    const Row rows[] = {
        {kNorvaneClass01, true},
        {kKvxClass01, false},
        {kNorvaneClass02, false},
        {kKvxClass02, false},
    };
    for (const auto& row : rows) {
        CAPTURE(std::string(row.key, row.key + wcslen(row.key)));
        CleanHotkeyRegistry clean;
        UseMachine(KeyFamily::PowerManager);
        kPowerManager.Seed(0x3);
        SetDword(kPowerManager.Capability().c_str(), L"Type2", 0x3);
        SetDword(row.key, L"Disable", 0x2);

        DWORD mask01 = 0;
        DWORD mask02 = 0;
        CHECK(SynchronizeClass01(&mask01));
        CHECK(SynchronizeClass02(&mask02));
        const DWORD expected = row.applies ? 0x1 : 0x3;
        CHECK(mask01 == expected);
        CHECK(mask02 == expected);
        CHECK(GetDword(kKvxClass02, L"Serviced") == expected);
        CHECK(GetDword(kPowerManager.CurrentSetting().c_str(), nullptr) == expected);
    }
}

TEST_CASE("class 01: the overrides are read and served whatever the Capability default value and Disable say")
{
    CleanHotkeyRegistry clean;
    UseMachine(KeyFamily::SystemEvent);
    const std::wstring withHandler = Path(kNorvaneClass01, L"09");
    SetString(withHandler.c_str(), L"File", L"C:\\override.exe");
    SetString(withHandler.c_str(), L"Parameters", L"");
    SUBCASE("no default value in Capability: a failure, but the overrides still get their subkeys and are watched")
    {
        SetDword(kSystemEvent.Capability().c_str(), L"OverrideCapability", 0x180);  // HotkeyNumbers 8 and 9
        SetDword(kSystemEvent.CurrentSetting().c_str(), nullptr, 0);
        SetDword(kSystemEvent.OverrideSetting().c_str(), nullptr, 0x2);
        DWORD mask = 0;
        CHECK_FALSE(SynchronizeClass01(&mask));
        CHECK(mask == 0x100);  // 8 has no handler: published set only
        CHECK(SubkeyNames(kNorvaneClass01) == std::vector<std::wstring>{L"08", L"09"});
        CHECK(GetDword(kSystemEvent.CurrentSetting().c_str(), nullptr) == 0u);
        CHECK_FALSE(GetDword(kNorvaneClass01, L"Capability").has_value());         // skipped after the failure
        CHECK(GetDword(kSystemEvent.OverrideSetting().c_str(), nullptr) == 0x2u);  // likewise
    }
    SUBCASE("Disable and the internal functions never take an override bit away")
    {
        kSystemEvent.Seed(0x101);
        SetDword(kSystemEvent.Capability().c_str(), L"OverrideCapability", 0x100);
        SetDword(kSystemEvent.Capability().c_str(), L"IsExistPMInternalFunction", 0x100);
        SetDword(kNorvaneClass01, L"Disable", 0x101);
        DWORD mask = 0;
        CHECK(SynchronizeClass01(&mask));
        CHECK(mask == 0x100);
        CHECK(GetDword(kNorvaneClass01, L"Capability") == 0x100u);
        CHECK(GetDword(kSystemEvent.CurrentSetting().c_str(), nullptr) == 0u);  // overrides are not switched on
    }
}

TEST_CASE("class 01: the internal functions are never served")
{
    CleanHotkeyRegistry clean;
    UseMachine(KeyFamily::SystemEvent);
    SUBCASE("absent: HotkeyNumbers 3, 4 and 12")
    {
        kSystemEvent.Seed(0xFFF);
        DWORD mask = 0;
        CHECK(SynchronizeClass01(&mask));
        CHECK(mask == 0x7F3);
    }
    SUBCASE("given")
    {
        kSystemEvent.Seed(0xFFF);
        SetDword(kSystemEvent.Capability().c_str(), L"IsExistPMInternalFunction", 0x100);
        DWORD mask = 0;
        CHECK(SynchronizeClass01(&mask));
        CHECK(mask == 0xEFF);
    }
    SUBCASE("stored as a REG_QWORD: not read, the default applies")
    {
        kSystemEvent.Seed(0xFFF);
        SetQword(kSystemEvent.Capability().c_str(), L"IsExistPMInternalFunction", 0x100);
        DWORD mask = 0;
        CHECK(SynchronizeClass01(&mask));
        CHECK(mask == 0x7F3);
    }
}

TEST_CASE("class 01: Capability 0 and no overrides leave CurrentSetting alone")
{
    CleanHotkeyRegistry clean;
    UseMachine(KeyFamily::SystemEvent);
    SetDword(kSystemEvent.Capability().c_str(), nullptr, 0);  // and no CurrentSetting key at all
    DWORD mask = 0xdeadbeef;
    CHECK(SynchronizeClass01(&mask));
    CHECK(mask == 0);
    CHECK_FALSE(KeyExists(kSystemEvent.CurrentSetting().c_str()));
    CHECK(GetDword(kNorvaneClass01, L"Capability") == 0u);
    CHECK(SubkeyNames(kNorvaneClass01).empty());
}

TEST_CASE("class 01: the size of the Capability default value")
{
    CleanHotkeyRegistry clean;
    UseMachine(KeyFamily::SystemEvent);
    kSystemEvent.Seed(0);
    SUBCASE("a REG_QWORD is not read: failure, nothing switched on")
    {
        SetQword(kSystemEvent.Capability().c_str(), nullptr, 0x3);
        DWORD mask = 0xdeadbeef;
        CHECK_FALSE(SynchronizeClass01(&mask));
        CHECK(mask == 0);
        CHECK(GetDword(kSystemEvent.CurrentSetting().c_str(), nullptr) == 0u);
        CHECK_FALSE(GetDword(kNorvaneClass01, L"Capability").has_value());
    }
    SUBCASE("a 2-byte value fills its two bytes")
    {
        const BYTE twoBytes[] = {0x03, 0x01};
        SetRaw(kSystemEvent.Capability().c_str(), nullptr, REG_BINARY, twoBytes, sizeof twoBytes);
        DWORD mask = 0;
        CHECK(SynchronizeClass01(&mask));
        CHECK(mask == 0x103);
    }
}

TEST_CASE("class 01: failures make the result false without rolling anything back")
{
    CleanHotkeyRegistry clean;
    UseMachine(KeyFamily::SystemEvent);
    SUBCASE("no Capability key")
    {
        CreateKey(kSystemEventRoot);
        DWORD mask = 0xdeadbeef;
        CHECK_FALSE(SynchronizeClass01(&mask));
        CHECK(mask == 0);
    }
    SUBCASE("CurrentSetting unreadable: subkeys are still created and the mask produced")
    {
        kSystemEvent.Seed(0x3);
        DeleteValue(kSystemEvent.CurrentSetting().c_str(), nullptr);
        SetDword(kSystemEvent.OverrideSetting().c_str(), nullptr, 0x8);
        DWORD mask = 0;
        CHECK_FALSE(SynchronizeClass01(&mask));
        CHECK(mask == 0x3);
        CHECK(SubkeyNames(kNorvaneClass01) == std::vector<std::wstring>{L"01", L"02"});
        CHECK_FALSE(GetDword(kSystemEvent.CurrentSetting().c_str(), nullptr).has_value());  // nothing written
        CHECK_FALSE(GetDword(kNorvaneClass01, L"Capability").has_value());                   // later writes skipped
        CHECK(GetDword(kSystemEvent.OverrideSetting().c_str(), nullptr) == 0x8u);
    }
    SUBCASE("OverrideSetting without its value: earlier writes stay")
    {
        kSystemEvent.Seed(0x3, 0x100);
        CreateKey(kSystemEvent.OverrideSetting().c_str());
        DWORD mask = 0;
        CHECK_FALSE(SynchronizeClass01(&mask));
        CHECK(mask == 0x3);
        CHECK(GetDword(kSystemEvent.CurrentSetting().c_str(), nullptr) == 0x103u);
        CHECK(GetDword(kNorvaneClass01, L"Capability") == 0x3u);
        CHECK_FALSE(GetDword(kSystemEvent.OverrideSetting().c_str(), nullptr).has_value());
    }
    SUBCASE("no OverrideSetting key: not an error, and it is not created")
    {
        kSystemEvent.Seed(0x3);
        DWORD mask = 0;
        CHECK(SynchronizeClass01(&mask));
        CHECK_FALSE(KeyExists(kSystemEvent.OverrideSetting().c_str()));
    }
}

TEST_CASE("class 02: Type2 less Disable is served, published and given subkeys")
{
    CleanHotkeyRegistry clean;
    UseMachine(KeyFamily::SystemEvent);
    kSystemEvent.Seed(0x1);
    SUBCASE("Type2 present")
    {
        SetDword(kSystemEvent.Capability().c_str(), L"Type2", 0x80000011);
        SetDword(kNorvaneClass01, L"Disable", 0x10);
        DWORD mask = 0;
        CHECK(SynchronizeClass02(&mask));
        CHECK(mask == 0x80000001);
        CHECK(GetDword(kNorvaneClass02, L"Serviced") == 0x80000001u);
        CHECK(SubkeyNames(kNorvaneClass02) == std::vector<std::wstring>{L"01", L"20"});
    }
    SUBCASE("Type2 missing or too large to read")
    {
        for (const bool asQword : {false, true}) {
            CAPTURE(asQword);
            CleanHotkeyRegistry::Wipe();
            kSystemEvent.Seed(0x1);
            if (asQword) SetQword(kSystemEvent.Capability().c_str(), L"Type2", 0x1);
            DWORD mask = 0xdeadbeef;
            CHECK_FALSE(SynchronizeClass02(&mask));
            CHECK(mask == 0);
            CHECK_FALSE(GetDword(kNorvaneClass02, L"Serviced").has_value());
            CHECK(SubkeyNames(kNorvaneClass02).empty());
        }
    }
}

TEST_CASE("with the 64-bit view asked for, synchronisation works the same")
{
    // Under wine (a 64-bit process) the flag is accepted and changes nothing; the masks it adds
    // are asserted in the registry suite.
    CleanHotkeyRegistry clean;
    UseMachine(KeyFamily::PowerManager, TRUE, TRUE);
    kPowerManager.Seed(0x3);
    SetDword(kPowerManager.Capability().c_str(), L"Type2", 0x4);
    DWORD mask01 = 0;
    DWORD mask02 = 0;
    CHECK(SynchronizeClass01(&mask01));
    CHECK(SynchronizeClass02(&mask02));
    CHECK(mask01 == 0x3);
    CHECK(mask02 == 0x4);
    CHECK(GetDword(kKvxClass01, L"Capability") == 0x3u);
    UseMachine(KeyFamily::PowerManager);
}
}
