// A machine for launch tests (the console-session launch and the indicators): the stand-in's
// console session, the service's primary token (made by the service's own start-up code), the
// test root trusted, and a scratch folder with a signed and an unsigned copy of the recording
// handler. A variable FNKEY_ENV_PROBE tells the environments apart: "service" in this process,
// "profile" in the user's registry environment. After every launch, CheckReleased proves that it
// left nothing behind.
//
// The service state is set by hand here, not by ServiceMain (whose own start-up the host.* tests
// drive): the launches are run one at a time in states the service under wine never reaches by
// itself -- Windows XP, a 32-bit service on 64-bit Windows, a locked console (no session-change
// control can be sent), a missing service token.
#pragma once

#include <doctest.h>

#include <windows.h>

#include <optional>
#include <string>

#include "dispatch/console_launch.h"
#include "host/service_state.h"
#include "host/startup_state.h"
#include "registry/wow64.h"
#include "registry_fixture.h"
#include "standins.h"
#include "test_files.h"
#include "unique_handle.h"

// The console session as wine reports it; the terminal-services stand-in answers for it.
inline DWORD ConsoleSession()
{
    return WTSGetActiveConsoleSessionId();
}

struct LaunchMachine {
    standin::TrustedTestRoot trusted;
    testfiles::ScratchDir dir;
    std::wstring signedProgram = dir.Copy(testfiles::BinPath(L"signed\\publisher.exe"), L"signed handler.exe");
    std::wstring unsignedProgram = dir.Copy(testfiles::BinPath(L"recorder.exe"), L"unsigned handler.exe");
    UniqueKernelHandle serviceToken;
    long handlesBefore = HeldHandleCount();
    DWORD startedByLastLaunch = 0;  // processes the last launch created, counted by the job

    LaunchMachine()
    {
        standin::ClearSessions();
        REQUIRE(CreatePrimaryToken(&serviceToken));
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

    // The console session: active and with a logged-on user named "tester" unless said otherwise.
    void Console(std::optional<DWORD> connectState = WTSActive, bool user = true) const
    {
        standin::Session session;
        session.connectState = connectState;
        session.userToken = user;
        session.userName = L"tester";
        standin::SetSession(ConsoleSession(), session);
    }
};

// Whether the calling thread impersonates anyone.
inline bool Impersonating()
{
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        CloseHandle(token);
        return true;
    }
    return false;
}

// After every launch, whatever its outcome: nothing held, no impersonation left.
inline void CheckReleased(const LaunchMachine& machine)
{
    CHECK(HeldHandleCount() == machine.handlesBefore);
    CHECK_FALSE(Impersonating());
}
