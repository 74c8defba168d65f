#include <doctest.h>

#include <windows.h>
#include <wtsapi32.h>

#include <string>

#include "dispatch/launch_plan.h"

TEST_SUITE("launch_plan") {
TEST_CASE("desktop, token, environment, flags and signature of a console launch")
{
    struct Row {
        const char* name;
        SessionView session;
        BOOL xp;
        BOOL noInteractiveUser;
        DWORD lockedMode;
        LaunchOutcome outcome;
        bool userDesktop;
    };
    const SessionView active{true, WTSActive};
    const SessionView connected{true, WTSConnected};
    const SessionView disconnected{true, WTSDisconnected};
    const SessionView unknown{false, 0};
    const Row rows[] = {
        {"active session, user at the console", active, FALSE, FALSE, 0, LaunchOutcome::Start, true},
        {"active session, user at the console, LockedMode set", active, FALSE, FALSE, 1, LaunchOutcome::Start, true},
        {"locked or logged off, LockedMode set", active, FALSE, TRUE, 1, LaunchOutcome::Start, false},
        {"locked or logged off, LockedMode 0: consumed", active, FALSE, TRUE, 0, LaunchOutcome::Consume, false},
        {"session only connected", connected, FALSE, FALSE, 1, LaunchOutcome::Start, false},
        {"session disconnected, LockedMode 0", disconnected, FALSE, FALSE, 0, LaunchOutcome::Consume, false},
        {"connect state unknown", unknown, FALSE, FALSE, 1, LaunchOutcome::Refuse, false},
        {"connect state unknown on Windows XP: logon desktop", unknown, TRUE, FALSE, 1, LaunchOutcome::Start, false},
        {"connect state unknown on Windows XP, LockedMode 0", unknown, TRUE, FALSE, 0, LaunchOutcome::Consume, false},
        {"Windows XP with a known state", active, TRUE, FALSE, 0, LaunchOutcome::Start, true},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        const LaunchPlan plan = PlanConsoleLaunch(row.session, row.xp, row.noInteractiveUser, row.lockedMode);
        CHECK(plan.outcome == row.outcome);
        if (plan.outcome == LaunchOutcome::Refuse) continue;
        CHECK(plan.userDesktop == row.userDesktop);
        if (row.userDesktop) {
            CHECK(plan.token == LaunchToken::SessionUser);
            CHECK(std::wstring(plan.desktop) == L"WinSta0\\Default");
            CHECK(plan.environmentBlock);
            CHECK(plan.creationFlags == 0x480);
            CHECK_FALSE(plan.signatureRequired);
        } else {
            CHECK(plan.token == LaunchToken::ServiceTokenInSession);
            CHECK(std::wstring(plan.desktop) == L"WinSta0\\WinLogon");
            CHECK_FALSE(plan.environmentBlock);
            CHECK(plan.creationFlags == 0x80);
            CHECK(plan.signatureRequired);
        }
    }
}

TEST_CASE("redirection is switched off only for a 32-bit service on 64-bit Windows that asks for it")
{
    CHECK(RedirectionOffForLaunch(TRUE, 1));
    CHECK(RedirectionOffForLaunch(TRUE, 0x100));
    CHECK_FALSE(RedirectionOffForLaunch(TRUE, 0));
    CHECK_FALSE(RedirectionOffForLaunch(FALSE, 1));
}

TEST_CASE("the pipe fallback is for Windows XP's ERROR_PIPE_NOT_CONNECTED only")
{
    CHECK(UsePipeFallback(TRUE, ERROR_PIPE_NOT_CONNECTED));
    CHECK_FALSE(UsePipeFallback(FALSE, ERROR_PIPE_NOT_CONNECTED));
    CHECK_FALSE(UsePipeFallback(TRUE, ERROR_FILE_NOT_FOUND));
}
}
