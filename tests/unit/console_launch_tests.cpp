#include <doctest.h>

#include <windows.h>
#include <wintrust.h>
#include <wtsapi32.h>

#include <map>
#include <string>
#include <vector>

#include "dispatch/console_launch.h"
#include "dispatch/handler_resolution.h"
#include "dispatch/signature_check.h"
#include "host/service_state.h"
#include "host/startup_state.h"
#include "hotkey_registry.h"
#include "import_patch.h"
#include "launch_machine.h"
#include "registry/wow64.h"
#include "registry_fixture.h"
#include "service_program_folder.h"
#include "session_pipe_server.h"
#include "standins.h"
#include "started_processes.h"
#include "test_files.h"
#include "unique_handle.h"

namespace {

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

bool Launch(LaunchMachine& machine, const HandlerSpec& handler)
{
    standin::DeleteRecord(handler.applicationPath);
    const DWORD before = started::Count();
    const bool result = LaunchInConsoleSession(handler, ConsoleSession());
    machine.startedByLastLaunch = started::Count() - before;
    CheckReleased(machine);
    return result;
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
    static bool Off() { return disables > reverts; }
};

// Whether redirection was off (as RedirectionProbe switched it) when the launch opened the
// program file, ran the signature verification and created the process: one entry per call,
// observed through the test program's imports of those three functions.
struct RedirectionWitness {
    static inline std::wstring program;
    static inline std::vector<bool> opens, verifications, creations;
    static inline decltype(&CreateFileW) realCreateFile = nullptr;
    static inline decltype(&WinVerifyTrust) realVerifyTrust = nullptr;
    static inline decltype(&CreateProcessAsUserW) realCreateProcessAsUser = nullptr;

    static HANDLE WINAPI SeeOpen(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile)
    {
        if (name != nullptr && lstrcmpiW(name, program.c_str()) == 0) opens.push_back(RedirectionProbe::Off());
        return realCreateFile(name, access, share, security, disposition, flags, templateFile);
    }
    static LONG WINAPI SeeVerification(HWND window, GUID* action, LPVOID data)
    {
        verifications.push_back(RedirectionProbe::Off());
        return realVerifyTrust(window, action, data);
    }
    static BOOL WINAPI SeeCreation(HANDLE token, LPCWSTR application, LPWSTR commandLine,
                                   LPSECURITY_ATTRIBUTES processAttributes, LPSECURITY_ATTRIBUTES threadAttributes,
                                   BOOL inherit, DWORD flags, LPVOID environment, LPCWSTR directory,
                                   LPSTARTUPINFOW startup, LPPROCESS_INFORMATION created)
    {
        creations.push_back(RedirectionProbe::Off());
        return realCreateProcessAsUser(token, application, commandLine, processAttributes, threadAttributes, inherit,
                                       flags, environment, directory, startup, created);
    }

    explicit RedirectionWitness(const std::wstring& programFile)
    {
        program = programFile;
        opens.clear();
        verifications.clear();
        creations.clear();
        realCreateFile = createFile.Original<decltype(&CreateFileW)>();
        realVerifyTrust = verifyTrust.Original<decltype(&WinVerifyTrust)>();
        realCreateProcessAsUser = createProcessAsUser.Original<decltype(&CreateProcessAsUserW)>();
    }

    ImportPatch createFile{"kernel32.dll", "CreateFileW", reinterpret_cast<const void*>(&SeeOpen)};
    ImportPatch verifyTrust{"wintrust.dll", "WinVerifyTrust", reinterpret_cast<const void*>(&SeeVerification)};
    ImportPatch createProcessAsUser{"advapi32.dll", "CreateProcessAsUserW", reinterpret_cast<const void*>(&SeeCreation)};
};

}  // namespace

TEST_SUITE("launch") {
TEST_CASE_FIXTURE(LaunchMachine, "a user at an active console gets the handler on the user's desktop, signed or not")
{
    Console();
    REQUIRE(Launch(*this, Handler(unsignedProgram, L"--hello world")));
    CHECK(startedByLastLaunch == 1);
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
    CHECK(startedByLastLaunch == 1);
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
    CHECK(startedByLastLaunch == 0);
    CHECK(Launch(*this, Handler(signedProgram, L"", 0)));  // consumed: true, nothing started
    CHECK(startedByLastLaunch == 0);
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
        INFO(std::string(row.name));
        Console(row.connectState, row.user);
        g_serviceState.noInteractiveUser = row.noInteractiveUser;
        g_serviceState.primaryToken = row.noServiceToken ? nullptr : serviceToken.Get();
        const std::wstring program = row.missingProgram ? dir.Path() + L"\\missing.exe" : signedProgram;
        CHECK_FALSE(Launch(*this, Handler(program, L"", 1)));
        CHECK(startedByLastLaunch == 0);
    }
}

TEST_CASE_FIXTURE(LaunchMachine, "with NativePath on 64-bit Windows, redirection is off where the file is opened and the process created")
{
    // Stands in for Wow64 file-system redirection of the 32-bit service on 64-bit Windows.
    g_serviceState.isWow64 = TRUE;
    SUBCASE("logon desktop: the opening of the file and the start each switch it off and back; the check runs with it on")
    {
        Console();
        g_serviceState.noInteractiveUser = TRUE;
        RedirectionProbe::Install(signedProgram);
        {
            RedirectionWitness witness(signedProgram);
            REQUIRE(Launch(*this, Handler(signedProgram, L"", 1, 1)));
        }
        CHECK(RedirectionProbe::disables == 2);
        CHECK(RedirectionProbe::reverts == 2);
        CHECK(RedirectionWitness::opens == std::vector<bool>{true});
        CHECK(RedirectionWitness::creations == std::vector<bool>{true});
        // On Windows, a library the verification loads for the first time with redirection off
        // would come from the 64-bit system folder and fail to load into the 32-bit service.
        REQUIRE_FALSE(RedirectionWitness::verifications.empty());
        CHECK(RedirectionWitness::verifications == std::vector<bool>(RedirectionWitness::verifications.size(), false));
        // Between the check and the start the program that was checked cannot be changed.
        CHECK(RedirectionProbe::attemptsBeforeCreation.at("write") == ERROR_SHARING_VIOLATION);
        CHECK(RedirectionProbe::attemptsBeforeCreation.at("rename") == ERROR_SHARING_VIOLATION);
        CHECK(RedirectionProbe::attemptsBeforeCreation.at("delete") == ERROR_SHARING_VIOLATION);
        CHECK_FALSE(standin::WaitForRecord(signedProgram).empty());
        // ... and is free again once its process has ended (a running program's file is held
        // by the platform itself).
        REQUIRE(started::WaitUntilAllEnded(15000));
        const auto attemptsAfterwards = standin::TryChangeFromAnotherProcess(signedProgram);
        CHECK(attemptsAfterwards.at("write") == 0);
        CHECK(attemptsAfterwards.at("rename") == 0);
        CHECK(attemptsAfterwards.at("delete") == 0);
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
TEST_CASE_FIXTURE(LaunchMachine, "DispatchHotkey starts the handler only while the service runs")
{
    CleanHotkeyRegistry clean;
    Console();  // active, a user at the console: a start would go ahead
    g_serviceState.keyFamily = KeyFamily::SystemEvent;
    wcscpy(g_serviceState.programDir, dir.Path().c_str());
    const std::wstring program = dir.Copy(testfiles::BinPath(L"recorder.exe"), L"ostrel1.exe");
    struct Row {
        BOOL running;
        bool result;
        DWORD started;
    };
    for (const Row row : {Row{FALSE, false, 0}, Row{TRUE, true, 1}, Row{FALSE, false, 0}}) {
        CAPTURE(row.running);
        standin::DeleteRecord(program);
        g_serviceState.running = row.running;
        const DWORD before = started::Count();
        CHECK(DispatchHotkey(HotkeyClass::Class01, 0) == row.result);
        CHECK(started::Count() - before == row.started);
        CheckReleased(*this);
        if (row.started != 0) {
            CHECK_FALSE(standin::WaitForRecord(program).empty());
            CHECK(standin::StartCount(program) == 1);
        }
    }
    g_serviceState.running = FALSE;
}

TEST_CASE_FIXTURE(LaunchMachine, "on Windows XP a start refused for an unconnected session goes through the session's pipe")
{
    // Stands in for Windows XP's CreateProcessAsUserW refusing a session whose terminal-services
    // side is not connected (ERROR_PIPE_NOT_CONNECTED), which wine never does; the pipe's server
    // side, which on Windows XP belongs to terminal services, is played by the test and really
    // creates the process it is asked for, handing its handles back as that server does.
    static int refusals = 0;
    struct Refuse {
        static BOOL WINAPI CreateProcessAsUser(HANDLE, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                                               DWORD, LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION)
        {
            ++refusals;
            SetLastError(ERROR_PIPE_NOT_CONNECTED);
            return FALSE;
        }
    };
    refusals = 0;
    ImportPatch refuse("advapi32.dll", "CreateProcessAsUserW", reinterpret_cast<const void*>(&Refuse::CreateProcessAsUser));

    standin::RequestedProcess seen;

    standin::ReplacedSystemWinsta winsta(L"winsta_standin.dll");
    const std::wstring pipe = standin::UniquePipeName();
    standin::TestPipeServer server(pipe, 5000, standin::CreateRequestedProcess(&seen));
    standin::Session console;
    console.connectState = WTSActive;
    console.userToken = true;
    console.pipeName = pipe;
    standin::SetSession(ConsoleSession(), console);
    g_serviceState.isWindowsXp = TRUE;

    REQUIRE(Launch(*this, Handler(unsignedProgram, L"-xp")));
    CHECK(refusals == 1);
    CHECK(server.connections == 1);
    CHECK(startedByLastLaunch == 1);
    CHECK(seen.application == unsignedProgram);
    CHECK(seen.commandLine == unsignedProgram + L" -xp");
    CHECK(seen.desktop == L"WinSta0\\Default");
    CHECK(seen.flags == (HIGH_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT));
    CHECK(seen.environment);
    const auto record = standin::WaitForRecord(unsignedProgram);
    REQUIRE_FALSE(record.empty());
    CHECK(record.at(L"commandLine") == unsignedProgram + L" -xp");
    CHECK(record.at(L"desktop") == L"WinSta0\\Default");
    CHECK(record.at(L"envProbe") == L"profile");  // the environment block travelled in the request
    CHECK(record.at(L"threadPriority") == L"2");   // raised through the handle the pipe handed back
    CHECK(standin::StartCount(unsignedProgram) == 1);
}
TEST_CASE_FIXTURE(LaunchMachine, "the default programs beside the service are the publisher's: HotkeyNumber 5 starts on the logon desktop")
{
    testfiles::ServiceProgramFolder folder;
    for (const auto& program : folder.DefaultPrograms()) {
        CAPTURE(std::string(program.begin(), program.end()));
        CHECK(VerifyPublisherSignature(program.c_str(), INVALID_HANDLE_VALUE, kPublisherName));
    }
    CleanHotkeyRegistry clean;
    Console();
    g_serviceState.noInteractiveUser = TRUE;  // locked: only a signed program with LockedMode may start
    g_serviceState.keyFamily = KeyFamily::SystemEvent;
    wcscpy(g_serviceState.programDir, folder.ShortPath().c_str());
    g_serviceState.running = TRUE;
    const std::wstring ostrel5 = folder.File(L"ostrel5.exe");  // LockedMode 1 by default
    standin::DeleteRecord(ostrel5);
    const DWORD before = started::Count();
    CHECK(DispatchHotkey(HotkeyClass::Class01, 4));
    g_serviceState.running = FALSE;
    CHECK(started::Count() - before == 1);
    const auto record = standin::WaitForRecord(ostrel5);
    REQUIRE_FALSE(record.empty());
    CHECK(record.at(L"desktop") == L"WinSta0\\WinLogon");
    CheckReleased(*this);
}
}
