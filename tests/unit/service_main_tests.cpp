// ServiceMain run inside the test program (tests/support/in_process_service.h says why), on a
// machine seeded by the hotkey source: the status reports of each way a start can end, a stop
// that arrives before the watcher exists, session changes (which wine cannot send), the custom
// controls, and the handle accounting of all of it. The service's folder is the test program's:
// the signed indicator and default programs and MOLTEX32.DLL are there.
#include <doctest.h>

#include <windows.h>
#include <aclapi.h>
#include <wtsapi32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "host/control_handler.h"
#include "host/hotkey_number_section.h"
#include "host/lpu_module.h"
#include "host/service_main.h"
#include "host/service_state.h"
#include "host/watcher_control.h"
#include "hotkey_source_fixture.h"
#include "import_patch.h"
#include "in_process_service.h"
#include "registry_fixture.h"
#include "standins.h"
#include "started_processes.h"
#include "test_files.h"
#include "unique_handle.h"

using testsvc::InProcessService;
using Events = std::vector<std::string>;

namespace {

constexpr const wchar_t* kCurrentSetting = L"Software\\Norvane\\SystemEvent\\CurrentSetting";
constexpr const wchar_t* kNotification = L"Software\\Norvane\\SystemEvent\\Notification";

HotkeySourceSeed Seed()
{
    HotkeySourceSeed seed;
    seed.capability = 0x33;  // HotkeyNumbers 1, 2, 5, 6
    seed.type2 = 0x1;
    return seed;
}

// The console session of the stand-in, active, with or without a user; another session too.
void Sessions(bool userAtConsole)
{
    standin::ClearSessions();
    standin::Session console;
    console.connectState = WTSActive;
    console.userToken = userAtConsole;
    console.userName = L"tester";
    standin::SetSession(WTSGetActiveConsoleSessionId(), console);
    standin::Session other = console;
    other.connectState = WTSConnected;
    other.userToken = true;
    other.userName = L"other";
    standin::SetSession(WTSGetActiveConsoleSessionId() + 1, other);
}

const std::wstring kLogonIndicator = testfiles::BinPath(L"kivra.exe");
const std::wstring kUserIndicator = testfiles::BinPath(L"kivrad.exe");

struct Machine {
    standin::TrustedTestRoot trusted;
    TestHotkeySource source{KeyFamily::SystemEvent, Seed()};
    long handlesBefore = HeldHandleCount();
    Machine()
    {
        Sessions(true);
        standin::DeleteRecord(kLogonIndicator);
        standin::DeleteRecord(kUserIndicator);
    }
    ~Machine() { standin::ClearSessions(); }
};

bool SectionExists()
{
    UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_READ, FALSE, kHotkeyNumberSectionName));
    return section.IsValid();
}

}  // namespace

TEST_SUITE("service_main") {
TEST_CASE_FIXTURE(Machine, "each way a start ends: its status reports, its exit code, and the library freed last")
{
    struct Row {
        const char* name;
        void (*arrange)();
        bool runs;  // reaches normal operation; stopped by the test
        Events events;
        DWORD indicatorsStarted;
    };
    const Row rows[] = {
        {"a normal run, stopped", [] {}, true,
         {"RUNNING 0", "STOPPED 0", "FreeLibrary MOLTEX32.DLL"}, 2},
        {"no Parameters root: never running", [] { CleanHotkeyRegistry::Wipe(); }, false,
         {"STOP_PENDING 0", "STOPPED 2"}, 0},
        {"no hotkey served", [] {
             CleanHotkeyRegistry::Wipe();
             SeedHotkeySource(KeyFamily::SystemEvent, HotkeySourceSeed{});
         }, false,
         {"RUNNING 0", "STOP_PENDING 0", "STOPPED 1610", "FreeLibrary MOLTEX32.DLL"}, 0},
        {"the class-01 synchronisation fails (no Capability value)", [] {
             testreg::DeleteValue(L"Software\\Norvane\\SystemEvent\\Capability", nullptr);
         }, false,
         {"RUNNING 0", "STOP_PENDING 0", "STOPPED 1610", "FreeLibrary MOLTEX32.DLL"}, 0},
        {"a stop before the watcher exists is not lost", [] { RequestStop(); }, false,
         {"RUNNING 0", "STOPPED 0", "FreeLibrary MOLTEX32.DLL"}, 0},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        CleanHotkeyRegistry::Wipe();
        REQUIRE(SeedHotkeySource(KeyFamily::SystemEvent, Seed()));
        const DWORD startedBefore = started::Count();
        {
            InProcessService service;
            row.arrange();
            service.Start();
            if (row.runs) {
                const bool running = service.WaitUntilRunning();
                std::string seen;
                for (const auto& event : service.Events()) seen += event + "; ";
                INFO("reports so far: " << seen);
                REQUIRE(running);
                CHECK(SectionExists());
                CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
            }
            REQUIRE(service.WaitUntilReturned());
            CHECK(service.Events() == row.events);
            CHECK(started::Count() - startedBefore == row.indicatorsStarted);
            CHECK_FALSE(g_serviceState.running);
            CHECK(g_serviceState.watcherThread == nullptr);
            CHECK(g_serviceState.primaryToken == nullptr);
            CHECK_FALSE(SectionExists());
            // More stops after the end touch nothing.
            CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
            CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
        }
        CHECK(HeldHandleCount() == handlesBefore);
    }
}

TEST_CASE_FIXTURE(Machine, "the hotkey-number section's access is replaced by one entry: everyone may read and write")
{
    // Wine keeps no security for sections, so the call is observed at the program's import of
    // SetNamedSecurityInfoW (which then runs as usual) instead of read back from the section.
    struct Seen {
        int calls = 0;
        std::wstring name;
        SE_OBJECT_TYPE type = SE_UNKNOWN_OBJECT_TYPE;
        SECURITY_INFORMATION info = 0;
        bool ownerOrGroup = false;
        DWORD aces = 0;
        BYTE aceType = 0xFF;
        ACCESS_MASK mask = 0;
        bool everyone = false;
    };
    static Seen seen;
    static ImportPatch* patch = nullptr;
    struct Hook {
        static DWORD WINAPI SetNamed(LPWSTR name, SE_OBJECT_TYPE type, SECURITY_INFORMATION info, PSID owner, PSID group,
                                     PACL dacl, PACL sacl)
        {
            ++seen.calls;
            seen.name = name;
            seen.type = type;
            seen.info = info;
            seen.ownerOrGroup = owner != nullptr || group != nullptr || sacl != nullptr;
            if (dacl != nullptr) {
                seen.aces = dacl->AceCount;
                void* ace = nullptr;
                if (GetAce(dacl, 0, &ace)) {
                    const auto* allowed = static_cast<const ACCESS_ALLOWED_ACE*>(ace);
                    seen.aceType = allowed->Header.AceType;
                    seen.mask = allowed->Mask;
                    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
                    PSID everyone = nullptr;
                    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
                    seen.everyone = EqualSid(const_cast<DWORD*>(&allowed->SidStart), everyone) != FALSE;
                    FreeSid(everyone);
                }
            }
            return patch->Original<decltype(&SetNamedSecurityInfoW)>()(name, type, info, owner, group, dacl, sacl);
        }
    };
    seen = Seen{};
    ImportPatch hook("advapi32.dll", "SetNamedSecurityInfoW", reinterpret_cast<const void*>(&Hook::SetNamed));
    patch = &hook;
    {
        InProcessService service;
        service.Start();
        REQUIRE(service.WaitUntilRunning());
        CHECK(SectionExists());
        CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
        REQUIRE(service.WaitUntilReturned());
    }
    CHECK(seen.calls == 1);
    CHECK(seen.name == L"Global\\FNKEYD:HotkeyNumber");
    CHECK(seen.type == SE_KERNEL_OBJECT);
    CHECK(seen.info == DACL_SECURITY_INFORMATION);
    CHECK_FALSE(seen.ownerOrGroup);
    CHECK(seen.aces == 1);
    CHECK(seen.aceType == ACCESS_ALLOWED_ACE_TYPE);
    CHECK(seen.mask == (GENERIC_READ | GENERIC_WRITE));
    CHECK(seen.everyone);
}

TEST_CASE_FIXTURE(Machine, "start-up as the console's state says: the user's indicator, then the logon indicator")
{
    for (const bool user : {true, false}) {
        CAPTURE(user);
        Sessions(user);
        standin::DeleteRecord(kLogonIndicator);
        standin::DeleteRecord(kUserIndicator);
        const DWORD startedBefore = started::Count();
        {
            InProcessService service;
            service.Start();
            REQUIRE(service.WaitUntilRunning());
            CHECK(g_serviceState.noInteractiveUser == (user ? FALSE : TRUE));
            CHECK(g_serviceState.consoleSessionId == WTSGetActiveConsoleSessionId());
            // The logon indicator is the last step of the start-up.
            const auto logon = standin::WaitForRecord(kLogonIndicator);
            REQUIRE_FALSE(logon.empty());
            CHECK(started::Count() - startedBefore == (user ? 2u : 1u));
            CHECK(logon.at(L"desktop") == L"WinSta0\\WinLogon");
            if (user) {
                const auto userRecord = standin::WaitForRecord(kUserIndicator);
                REQUIRE_FALSE(userRecord.empty());
                CHECK(userRecord.at(L"desktop") == L"WinSta0\\Default");
                CHECK(std::wcstoull(userRecord.at(L"created").c_str(), nullptr, 10) <=
                      std::wcstoull(logon.at(L"created").c_str(), nullptr, 10));
            } else {
                CHECK(standin::StartCount(kUserIndicator) == 0);
            }
        }
        CHECK(HeldHandleCount() == handlesBefore);
    }
}

TEST_CASE_FIXTURE(Machine, "session changes move the session state and start the indicators while the service runs")
{
    const DWORD console = WTSGetActiveConsoleSessionId();
    const DWORD other = console + 1;
    enum Launch { None, Logon, User };
    struct Row {
        const char* name;
        DWORD eventType;
        DWORD session;
        BOOL noInteractiveUser;  // afterwards
        Launch launch;
    };
    // In order: each row starts from the state the rows before it left.
    const Row rows[] = {
        {"lock", WTS_SESSION_LOCK, console, TRUE, None},
        {"unlock", WTS_SESSION_UNLOCK, console, FALSE, None},
        {"logoff", WTS_SESSION_LOGOFF, console, TRUE, None},
        {"logon", WTS_SESSION_LOGON, console, FALSE, User},
        {"console disconnect of the recorded session: flag unchanged", WTS_CONSOLE_DISCONNECT, console, FALSE, None},
        {"console disconnect of another session: set", WTS_CONSOLE_DISCONNECT, other, TRUE, None},
        {"console connect of the recorded session: flag unchanged, logon indicator", WTS_CONSOLE_CONNECT, other, TRUE,
         Logon},
        {"console connect of another session: cleared, logon indicator", WTS_CONSOLE_CONNECT, console, FALSE, Logon},
        {"remote connect: only the session id moves", WTS_REMOTE_CONNECT, other + 1, FALSE, None},
        {"remote disconnect", WTS_REMOTE_DISCONNECT, console, FALSE, None},
        {"an unknown event type", 9, other, FALSE, None},
        {"session lock again", WTS_SESSION_LOCK, console, TRUE, None},
    };
    InProcessService service;
    service.Start();
    REQUIRE(service.WaitUntilRunning());
    // The start-up is over, and so are its two indicators (a user owns the console): neither can
    // leave a start mark in a row below.
    REQUIRE(service.WaitUntilStartupComplete());
    REQUIRE_FALSE(standin::WaitForRecord(kUserIndicator).empty());
    REQUIRE_FALSE(standin::WaitForRecord(kLogonIndicator).empty());
    REQUIRE(g_serviceState.noInteractiveUser == FALSE);
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        standin::DeleteRecord(kLogonIndicator);
        standin::DeleteRecord(kUserIndicator);
        WTSSESSION_NOTIFICATION notification{};
        notification.cbSize = sizeof notification;
        notification.dwSessionId = row.session;
        const DWORD before = started::Count();
        const long handles = HeldHandleCount();
        CHECK(service.Control(SERVICE_CONTROL_SESSIONCHANGE, row.eventType, &notification) == NO_ERROR);
        CHECK(g_serviceState.noInteractiveUser == row.noInteractiveUser);
        CHECK(g_serviceState.consoleSessionId == row.session);
        CHECK(started::Count() - before == (row.launch == None ? 0u : 1u));  // the launches run inside the control
        CHECK(standin::StartCount(kLogonIndicator) + standin::StartCount(kUserIndicator) <= 1);
        if (row.launch == Logon) CHECK_FALSE(standin::WaitForRecord(kLogonIndicator).empty());
        if (row.launch == User) CHECK_FALSE(standin::WaitForRecord(kUserIndicator).empty());
        CHECK(HeldHandleCount() == handles);
    }

    // Once the watcher has ended, notifications still move the state but start nothing (as during
    // the start-up: see the next case).
    CHECK(service.Control(SERVICE_CONTROL_STOP) == NO_ERROR);
    REQUIRE(service.WaitUntilReturned());
    WTSSESSION_NOTIFICATION logon{};
    logon.cbSize = sizeof logon;
    logon.dwSessionId = other;
    const DWORD before = started::Count();
    service.Control(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOGON, &logon);
    CHECK(g_serviceState.noInteractiveUser == FALSE);
    CHECK(g_serviceState.consoleSessionId == other);
    CHECK(started::Count() == before);
}

TEST_CASE_FIXTURE(Machine, "a session change during the start-up moves the state, starts nothing, and the start-up's own reading wins")
{
    InProcessService service;  // reset: `running` is 0, as before the start-up completes
    WTSSESSION_NOTIFICATION lock{};
    lock.cbSize = sizeof lock;
    lock.dwSessionId = WTSGetActiveConsoleSessionId() + 1;
    const DWORD before = started::Count();
    CHECK(ServiceControlHandler(SERVICE_CONTROL_SESSIONCHANGE, WTS_SESSION_LOCK, &lock, nullptr) == NO_ERROR);
    CHECK(g_serviceState.noInteractiveUser == TRUE);
    CHECK(g_serviceState.consoleSessionId == lock.dwSessionId);
    CHECK(started::Count() == before);

    service.Start();
    REQUIRE(service.WaitUntilRunning());
    CHECK(g_serviceState.noInteractiveUser == FALSE);  // a user owns the console
    CHECK(g_serviceState.consoleSessionId == WTSGetActiveConsoleSessionId());
}

TEST_CASE_FIXTURE(Machine, "the custom controls flip the bit of the index in the section, modulo 32")
{
    InProcessService service;
    service.Start();
    REQUIRE(service.WaitUntilRunning());
    REQUIRE(service.WaitUntilStartupComplete());
    UniqueKernelHandle section(OpenFileMappingW(FILE_MAP_WRITE, FALSE, kHotkeyNumberSectionName));
    REQUIRE(section);
    // The control runs on the calling thread: what it holds is back when it returns (a press,
    // 129, also wakes the watcher thread, whose handles the count would include meanwhile).
    auto control = [&](DWORD code, DWORD index) {
        REQUIRE(WriteHotkeyIndex(section.Get(), index));
        const long handles = HeldHandleCount();
        CHECK(service.Control(code) == NO_ERROR);
        if (code != kHotkeyControlToggleNotification) CHECK(HeldHandleCount() == handles);
    };
    struct Row {
        DWORD index;
        DWORD before;
        DWORD after;
    };
    // CurrentSetting starts as the service switched it on: 0x33.
    for (const Row row : {Row{0, 0x33, 0x32}, Row{37, 0x32, 0x12}, Row{37, 0x12, 0x32}, Row{31, 0x32, 0x80000032}}) {
        CAPTURE(row.index);
        CHECK(testreg::GetDword(kCurrentSetting, nullptr) == row.before);
        control(kHotkeyControlToggleSetting, row.index);
        CHECK(testreg::GetDword(kCurrentSetting, nullptr) == row.after);
    }

    // 129 is a press: the watcher starts hotkey 2's default program.
    const std::wstring ostrel2 = testfiles::BinPath(L"ostrel2.exe");
    standin::DeleteRecord(ostrel2);
    control(kHotkeyControlToggleNotification, 1);
    CHECK(testreg::GetDword(kNotification, nullptr) == 0x2u);
    CHECK_FALSE(standin::WaitForRecord(ostrel2).empty());

    // Without a value to flip nothing is written, and the answer is still NO_ERROR.
    testreg::DeleteValue(kCurrentSetting, nullptr);
    control(kHotkeyControlToggleSetting, 4);
    CHECK_FALSE(testreg::GetDword(kCurrentSetting, nullptr).has_value());
    CHECK(service.Control(SERVICE_CONTROL_INTERROGATE) == NO_ERROR);
    CHECK(service.Control(200) == NO_ERROR);
}

TEST_CASE("the wait for terminal services: no event, an event set before or during the wait, one never set")
{
    // The event terminal services set once they are ready; wine has none of its own.
    CHECK_FALSE(WaitForTerminalServices());  // no event: no wait

    UniqueKernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, L"Global\\TermSrvReadyEvent"));
    REQUIRE(ready);
    SUBCASE("set before")
    {
        SetEvent(ready.Get());
        CHECK(WaitForTerminalServices());
    }
    SUBCASE("set during the wait")
    {
        const HANDLE event = ready.Get();
        UniqueKernelHandle setter(CreateThread(
            nullptr, 0, [](LPVOID e) -> DWORD { Sleep(200); return SetEvent(static_cast<HANDLE>(e)) ? 0 : 1; },
            event, 0, nullptr));
        REQUIRE(setter);
        CHECK(WaitForTerminalServices());
        WaitForSingleObject(setter.Get(), INFINITE);
    }
    SUBCASE("never set: the wait ends at its bound, not before")
    {
        const ULONGLONG begin = GetTickCount64();
        CHECK_FALSE(WaitForTerminalServices());
        CHECK(GetTickCount64() - begin >= kTerminalServicesWaitMs - 100);
    }
}
}

TEST_SUITE("lpu_module") {
TEST_CASE("the library is kept only when it loads from the program's folder and EnableLPU agrees")
{
    const std::wstring tooLong(MAX_PATH, L'm');
    struct Row {
        const char* name;
        std::wstring fileName;
        bool kept;
        std::vector<std::string> log;  // of the library's own log, when it loaded
    };
    const Row rows[] = {
        {"EnableLPU returns nonzero", L"MOLTEX32.DLL", true, {"enabled"}},
        {"EnableLPU returns 0: freed at once", L"moltex32-refusing.dll", false, {"enabled", "freed"}},
        {"no such file", L"MOLTEX64.DLL", false, {}},
        {"a name that does not fit beside the program's path", tooLong, false, {}},
        {"a library without EnableLPU", L"winsta_noexport.dll", false, {}},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        const std::wstring logPath = testfiles::BinPath(row.fileName.c_str()) + L".log";
        DeleteFileW(logPath.c_str());
        const long handles = HeldHandleCount();
        HMODULE module = LoadLpuModule(row.fileName.c_str());
        CHECK((module != nullptr) == row.kept);
        CHECK(HeldHandleCount() == handles);
        if (module != nullptr) FreeLibrary(module);
        std::vector<std::string> log;
        if (FILE* in = _wfopen(logPath.c_str(), L"r")) {
            char line[64];
            while (std::fgets(line, sizeof line, in) != nullptr) log.emplace_back(line, strcspn(line, "\r\n"));
            std::fclose(in);
        }
        if (row.kept) log.pop_back();  // the test's own FreeLibrary
        CHECK(log == row.log);
        DeleteFileW(logPath.c_str());
    }
}
}

TEST_SUITE("control_handler") {
TEST_CASE("what each session notification does")
{
    struct Row {
        DWORD eventType;
        bool sameSession;
        IndicatorLaunch launch;
        bool setsFlag;
        BOOL flag;
        bool flagBeforeLaunch;
    };
    const Row rows[] = {
        {WTS_CONSOLE_CONNECT, true, IndicatorLaunch::Logon, false, FALSE, true},
        {WTS_CONSOLE_CONNECT, false, IndicatorLaunch::Logon, true, FALSE, true},
        {WTS_CONSOLE_DISCONNECT, true, IndicatorLaunch::None, false, TRUE, false},
        {WTS_CONSOLE_DISCONNECT, false, IndicatorLaunch::None, true, TRUE, false},
        {WTS_REMOTE_CONNECT, false, IndicatorLaunch::None, false, FALSE, false},
        {WTS_REMOTE_DISCONNECT, false, IndicatorLaunch::None, false, FALSE, false},
        {WTS_SESSION_LOGON, true, IndicatorLaunch::User, true, FALSE, false},
        {WTS_SESSION_LOGOFF, true, IndicatorLaunch::None, true, TRUE, false},
        {WTS_SESSION_LOCK, true, IndicatorLaunch::None, true, TRUE, false},
        {WTS_SESSION_UNLOCK, true, IndicatorLaunch::None, true, FALSE, false},
        {0, true, IndicatorLaunch::None, false, FALSE, false},
        {9, false, IndicatorLaunch::None, false, FALSE, false},
    };
    for (const auto& row : rows) {
        CAPTURE(row.eventType);
        CAPTURE(row.sameSession);
        const SessionChange change = DecideSessionChange(row.eventType, 5, row.sameSession ? 5 : 6);
        CHECK(change.launch == row.launch);
        CHECK(change.setsFlag == row.setsFlag);
        if (change.setsFlag) {
            CHECK(change.noInteractiveUser == row.flag);
            CHECK(change.flagBeforeLaunch == row.flagBeforeLaunch);
        }
    }
}
}
