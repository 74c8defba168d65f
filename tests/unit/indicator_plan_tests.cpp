#include <doctest.h>

#include <windows.h>

#include <string>

#include "host/indicator_plan.h"

TEST_SUITE("indicator_plan") {
TEST_CASE("program, desktop, token, profile, environment, flags and fallback of each indicator on each Windows")
{
    using enum IndicatorToken;
    struct Row {
        const char* name;
        Indicator indicator;
        DWORD major;
        BOOL xp;
        const wchar_t* program;
        const wchar_t* desktop;
        IndicatorToken token;
        bool profile;
        bool environment;
        DWORD flags;
        bool pipeFallback;
    };
    const wchar_t* logon = L"WinSta0\\WinLogon";
    const wchar_t* user = L"WinSta0\\Default";
    const Row rows[] = {
        {"logon indicator", Indicator::Logon, 6, FALSE, L"kivra.exe", logon, ServiceTokenInSession, false, false, 0, false},
        {"logon indicator, Windows XP", Indicator::Logon, 5, TRUE, L"kivra.exe", logon, ServiceTokenInSession, false,
         false, 0, true},
        // The logon indicator goes by the service's XP flag alone, not by a major version.
        {"logon indicator, Windows 2000 or Server 2003", Indicator::Logon, 5, FALSE, L"kivra.exe", logon,
         ServiceTokenInSession, false, false, 0, false},
        {"user indicator, Windows XP", Indicator::User, 5, TRUE, L"kivrad.exe", user, SessionUser, false, true, 0x480,
         false},
        {"user indicator, Windows Server 2003 (5.2)", Indicator::User, 5, FALSE, L"kivrad.exe", user, SessionUser, false,
         true, 0x480, false},
        {"user indicator, version unknown (0)", Indicator::User, 0, FALSE, L"kivrad.exe", user, SessionUser, false, true,
         0x480, false},
        {"user indicator, Windows Vista", Indicator::User, 6, FALSE, L"kivrad.exe", user, ServiceTokenInSession, true,
         true, 0x480, false},
        {"user indicator, Windows 10", Indicator::User, 10, FALSE, L"kivrad.exe", user, ServiceTokenInSession, true, true,
         0x480, false},
        // The user indicator goes by its own version alone and never falls back to the pipe.
        {"user indicator, XP flag with a later version", Indicator::User, 6, TRUE, L"kivrad.exe", user,
         ServiceTokenInSession, true, true, 0x480, false},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        const IndicatorPlan plan = PlanIndicatorLaunch(row.indicator, row.major, row.xp);
        CHECK(std::wstring(plan.program) == row.program);
        CHECK(std::wstring(plan.desktop) == row.desktop);
        CHECK(plan.token == row.token);
        CHECK(plan.loadProfile == row.profile);
        CHECK(plan.environmentBlock == row.environment);
        CHECK(plan.creationFlags == row.flags);
        CHECK(plan.pipeFallback == row.pipeFallback);
    }
}

TEST_CASE("only a program file that is not found is tried again")
{
    CHECK(RetryIndicatorStart(ERROR_FILE_NOT_FOUND));
    for (DWORD error : {DWORD{ERROR_SUCCESS}, DWORD{ERROR_PATH_NOT_FOUND}, DWORD{ERROR_ACCESS_DENIED},
                        DWORD{ERROR_PIPE_NOT_CONNECTED}}) {
        CAPTURE(error);
        CHECK_FALSE(RetryIndicatorStart(error));
    }
    CHECK(kIndicatorStartAttempts == 10);
    CHECK(kIndicatorRetryPauseMs == 500);
}

TEST_CASE("the program's path is the directory, a backslash and the name, and must fit")
{
    struct Row {
        size_t dirUnits;
        const wchar_t* program;
        bool fits;
    };
    // MAX_PATH holds 259 units and the terminating NUL.
    const Row rows[] = {
        {249, L"kivra.exe", true},  {250, L"kivra.exe", false}, {248, L"kivrad.exe", true},
        {249, L"kivrad.exe", false}, {8, L"kivra.exe", true},
    };
    for (const auto& row : rows) {
        CAPTURE(row.dirUnits);
        const std::wstring dir = L"C:\\" + std::wstring(row.dirUnits - 3, L'd');
        wchar_t path[MAX_PATH];
        CHECK(FormatIndicatorPath(path, MAX_PATH, dir.c_str(), row.program) == row.fits);
        if (row.fits) CHECK(std::wstring(path) == dir + L"\\" + row.program);
    }
}
}
