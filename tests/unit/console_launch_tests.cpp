#include <doctest.h>

#include <windows.h>
#include <wtsapi32.h>

#include <map>
#include <string>

#include "dispatch/console_launch.h"
#include "dispatch/handler_resolution.h"
#include "host/service_state.h"
#include "hotkey_registry.h"
#include "registry/wow64.h"
#include "registry_fixture.h"
#include "standins.h"
#include "test_files.h"
#include "unique_handle.h"

namespace {

// The console session as wine reports it; the terminal-services stand-in answers for it.
DWORD ConsoleSession()
{
    return WTSGetActiveConsoleSessionId();
}

// A machine for launches: the stand-in's console session, the service's primary token (made the
// way the service makes it at start), the test root trusted, and a service directory with a
// signed and an unsigned copy of the recording handler. A variable FNKEY_ENV_PROBE tells the
// environments apart: "service" in this process, "profile" in the user's registry environment.
struct LaunchMachine {
    standin::TrustedTestRoot trusted;
    testfiles::ScratchDir dir;
    std::wstring signedProgram = dir.Copy(testfiles::BinPath(L"signed\\publisher.exe"), L"signed handler.exe");
    std::wstring unsignedProgram = dir.Copy(testfiles::BinPath(L"recorder.exe"), L"unsigned handler.exe");
    UniqueKernelHandle serviceToken;
    long handlesBefore = HeldHandleCount();

    LaunchMachine()
    {
        standin::ClearSessions();
        {
            UniqueKernelHandle process;
            REQUIRE(OpenProcessToken(GetCurrentProcess(), 0x12B, process.Put()));
            REQUIRE(DuplicateTokenEx(process.Get(), MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary,
                                     serviceToken.Put()));
        }
        handlesBefore = HeldHandleCount();
        g_serviceState.primaryToken = serviceToken.Get();
        g_serviceState.isWindowsXp = FALSE;
        g_serviceState.isWow64 = FALSE;
        g_serviceState.noInteractiveUser = FALSE;
        SetEnvironmentVariableW(L"FNKEY_ENV_PROBE", L"service");
        testreg::SetString(L"Environment", L"FNKEY_ENV_PROBE", L"profile", HKEY_CURRENT_USER);
    }
    ~LaunchMachine()
    {
        testreg::DeleteValue(L"Environment", L"FNKEY_ENV_PROBE", HKEY_CURRENT_USER);
        standin::ClearSessions();
        g_serviceState.primaryToken = nullptr;
        g_launchRedirection = {DisableFsRedirection, RevertFsRedirection};
    }

    // The console session: active and with a logged-on user unless said otherwise.
    void Console(std::optional<DWORD> connectState = WTSActive, bool user = true) const
    {
        standin::Session session;
        session.connectState = connectState;
        session.userToken = user;
        session.userName = L"tester";
        standin::SetSession(ConsoleSession(), session);
    }
};

HandlerSpec Handler(const std::wstring& path, const std::wstring& parameters = L"", DWORD lockedMode = 0,
                    DWORD nativePath = 0)
{
    HandlerSpec handler;
    wcscpy(handler.applicationPath, path.c_str());
    wcscpy(handler.parameters, parameters.c_str());
    wcscpy(handler.commandLine, parameters.empty() ? path.c_str() : (path + L" " + parameters).c_str());
    handler.lockedMode = lockedMode;
    handler.nativePath = nativePath;
    return handler;
}

bool Impersonating()
{
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        CloseHandle(token);
        return true;
    }
    return false;
}

// After every launch, whatever its outcome: nothing held, no impersonation left.
void CheckReleased(const LaunchMachine& machine)
{
    CHECK(HeldHandleCount() == machine.handlesBefore);
    CHECK_FALSE(Impersonating());
}

bool Launch(const LaunchMachine& machine, const HandlerSpec& handler)
{
    standin::DeleteRecord(handler.applicationPath);
    const bool result = LaunchInConsoleSession(handler, ConsoleSession());
    CheckReleased(machine);
    return result;
}

// Nothing was started: no record appears.
bool NothingStarted(const std::wstring& program)
{
    return standin::WaitForRecord(program, 1500).empty();
}

// Fake Wow64 redirection switch (a 64-bit process cannot switch redirection): counts the calls
// and, at the second switch of a logon-desktop launch (the one right before process creation,
// after the check), tries to change the program file from another process.
struct RedirectionProbe {
    static inline int disables = 0;
    static inline int reverts = 0;
    static inline std::wstring program;
    static inline std::map<std::string, DWORD> attemptsBeforeCreation;

    static BOOL Disable(PVOID* previous)
    {
        ++disables;
        *previous = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(disables));
        if (!program.empty() && disables == 2) attemptsBeforeCreation = standin::TryChangeFromAnotherProcess(program);
        return TRUE;
    }
    static BOOL Revert(PVOID previous)
    {
        ++reverts;
        CHECK(previous == reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(disables)));
        return TRUE;
    }
    static void Install(const std::wstring& programToProbe = L"")
    {
        disables = 0;
        reverts = 0;
        program = programToProbe;
        attemptsBeforeCreation.clear();
        g_launchRedirection = {Disable, Revert};
    }
};

}  // namespace

TEST_SUITE("launch") {
TEST_CASE_FIXTURE(LaunchMachine, "a user at an active console gets the handler on the user's desktop, signed or not")
{
    Console();
    REQUIRE(Launch(*this, Handler(unsignedProgram, L"--hello world")));
    const auto record = standin::WaitForRecord(unsignedProgram);
    REQUIRE_FALSE(record.empty());
    CHECK(record.at(L"commandLine") == unsignedProgram + L" --hello world");
    CHECK(record.at(L"desktop") == L"WinSta0\\Default");
    CHECK(record.at(L"envProbe") == L"profile");  // an environment block built for the user
    CHECK(record.at(L"threadPriority") == L"2");   // THREAD_PRIORITY_HIGHEST
}

TEST_CASE_FIXTURE(LaunchMachine, "without an unlocked user, a signed handler that allows it starts on the logon desktop")
{
    SUBCASE("workstation locked")
    {
        Console();
        g_serviceState.noInteractiveUser = TRUE;
    }
    SUBCASE("session connected but not active")
    {
        Console(WTSConnected);
    }
    SUBCASE("Windows XP, connect state unknown")
    {
        Console(std::nullopt);
        g_serviceState.isWindowsXp = TRUE;
    }
    REQUIRE(Launch(*this, Handler(signedProgram, L"", 1)));
    const auto record = standin::WaitForRecord(signedProgram);
    REQUIRE_FALSE(record.empty());
    CHECK(record.at(L"commandLine") == signedProgram);
    CHECK(record.at(L"desktop") == L"WinSta0\\WinLogon");
    CHECK(record.at(L"envProbe") == L"service");  // no environment block: the service's own
    CHECK(record.at(L"threadPriority") == L"2");
}

TEST_CASE_FIXTURE(LaunchMachine, "the logon desktop refuses unsigned handlers and consumes presses without LockedMode")
{
    Console();
    g_serviceState.noInteractiveUser = TRUE;
    CHECK_FALSE(Launch(*this, Handler(unsignedProgram, L"", 1)));
    CHECK(NothingStarted(unsignedProgram));
    CHECK(Launch(*this, Handler(signedProgram, L"", 0)));  // consumed: true, nothing started
    CHECK(NothingStarted(signedProgram));
}

TEST_CASE_FIXTURE(LaunchMachine, "failures start nothing and leave nothing behind")
{
    struct Row {
        const char* name;
        std::optional<DWORD> connectState;
        bool user;
        BOOL noInteractiveUser;
        bool noServiceToken;
        bool missingProgram;
    };
    const Row rows[] = {
        {"connect state unknown (not Windows XP)", std::nullopt, true, FALSE, false, false},
        {"no user token for the session", WTSActive, false, FALSE, false, false},
        {"user's desktop, program missing", WTSActive, true, FALSE, false, true},
        {"logon desktop, the service token cannot be copied", WTSActive, true, TRUE, true, false},
        {"logon desktop, program missing", WTSActive, true, TRUE, false, true},
    };
    for (const auto& row : rows) {
        INFO(row.name);
        Console(row.connectState, row.user);
        g_serviceState.noInteractiveUser = row.noInteractiveUser;
        g_serviceState.primaryToken = row.noServiceToken ? nullptr : serviceToken.Get();
        const std::wstring program = row.missingProgram ? dir.Path() + L"\\missing.exe" : signedProgram;
        CHECK_FALSE(Launch(*this, Handler(program, L"", 1)));
        CHECK(NothingStarted(program));
    }
}

TEST_CASE_FIXTURE(LaunchMachine, "with NativePath on 64-bit Windows, redirection is off around the check and the start")
{
    // Stands in for Wow64 file-system redirection of the 32-bit service on 64-bit Windows.
    g_serviceState.isWow64 = TRUE;
    SUBCASE("logon desktop: the check and the start each switch it off and back")
    {
        Console();
        g_serviceState.noInteractiveUser = TRUE;
        RedirectionProbe::Install(signedProgram);
        REQUIRE(Launch(*this, Handler(signedProgram, L"", 1, 1)));
        CHECK(RedirectionProbe::disables == 2);
        CHECK(RedirectionProbe::reverts == 2);
        // Between the check and the start the program that was checked cannot be changed.
        CHECK(RedirectionProbe::attemptsBeforeCreation.at("write") == ERROR_SHARING_VIOLATION);
        CHECK(RedirectionProbe::attemptsBeforeCreation.at("rename") == ERROR_SHARING_VIOLATION);
        CHECK(RedirectionProbe::attemptsBeforeCreation.at("delete") == ERROR_SHARING_VIOLATION);
        CHECK_FALSE(standin::WaitForRecord(signedProgram).empty());
        // ... and is free again once the process exists.
        CHECK(standin::TryChangeFromAnotherProcess(unsignedProgram).at("write") == 0);
    }
    SUBCASE("user's desktop: only the start")
    {
        Console();
        RedirectionProbe::Install();
        REQUIRE(Launch(*this, Handler(unsignedProgram, L"", 0, 1)));
        CHECK(RedirectionProbe::disables == 1);
        CHECK(RedirectionProbe::reverts == 1);
    }
    SUBCASE("a failure after the check still switches it back")
    {
        Console();
        g_serviceState.noInteractiveUser = TRUE;
        g_serviceState.primaryToken = nullptr;
        RedirectionProbe::Install();
        CHECK_FALSE(Launch(*this, Handler(signedProgram, L"", 1, 1)));
        CHECK(RedirectionProbe::disables == 1);
        CHECK(RedirectionProbe::reverts == 1);
    }
    SUBCASE("without NativePath, or on 32-bit Windows, redirection is left alone")
    {
        Console();
        RedirectionProbe::Install();
        REQUIRE(Launch(*this, Handler(unsignedProgram, L"", 0, 0)));
        g_serviceState.isWow64 = FALSE;
        REQUIRE(Launch(*this, Handler(unsignedProgram, L"", 0, 1)));
        CHECK(RedirectionProbe::disables == 0);
        CHECK(RedirectionProbe::reverts == 0);
    }
}

TEST_CASE_FIXTURE(LaunchMachine, "a key press dispatched end to end: registered handler and default program")
{
    CleanHotkeyRegistry clean;
    Console();
    g_serviceState.keyFamily = KeyFamily::SystemEvent;
    g_serviceState.isWindows7OrLater = TRUE;
    g_serviceState.driverPresent = 0;
    wcscpy(g_serviceState.programDir, dir.Path().c_str());
    const std::wstring defaultProgram = dir.Copy(testfiles::BinPath(L"recorder.exe"), L"ostrel2.exe");
    testreg::SetString(L"SOFTWARE\\NORVANE\\QVHOTKEY\\CLASS\\01\\05", L"File", unsignedProgram);
    testreg::SetString(L"SOFTWARE\\NORVANE\\QVHOTKEY\\CLASS\\01\\05", L"Parameters", L"-press 5");
    g_serviceState.running = TRUE;

    standin::DeleteRecord(unsignedProgram);
    standin::DeleteRecord(defaultProgram);
    CHECK(DispatchHotkey(HotkeyClass::Class01, 4));
    CHECK(DispatchHotkey(HotkeyClass::Class01, 1));
    g_serviceState.running = FALSE;
    CheckReleased(*this);
    const auto registered = standin::WaitForRecord(unsignedProgram);
    REQUIRE_FALSE(registered.empty());
    CHECK(registered.at(L"commandLine") == unsignedProgram + L" -press 5");
    const auto byDefault = standin::WaitForRecord(defaultProgram);
    REQUIRE_FALSE(byDefault.empty());
    CHECK(byDefault.at(L"commandLine") == defaultProgram);
}
}
