// The decision of an indicator launch, apart from its effects: which program, desktop, token,
// profile, environment and flags each of the two indicators gets on which Windows, and when a
// refused start is tried again.
#pragma once

#include <windows.h>

#include <cstddef>

enum class Indicator {
    Logon,  // "kivra.exe" on the secure logon desktop of a session
    User,   // "kivrad.exe" on the desktop of the session's logged-on user
};

enum class IndicatorToken {
    ServiceTokenInSession,  // a primary copy of the service's token, moved into the session
    SessionUser,            // WTSQueryUserToken of the session
};

struct IndicatorPlan {
    const wchar_t* program = nullptr;  // file name in the service's directory
    const wchar_t* desktop = nullptr;  // lpDesktop
    IndicatorToken token = IndicatorToken::ServiceTokenInSession;
    bool loadProfile = false;       // load a profile for the token, named after the session's user
    bool environmentBlock = false;  // build one for the token (else inherit the service's)
    DWORD creationFlags = 0;
    bool pipeFallback = false;  // a start refused with ERROR_PIPE_NOT_CONNECTED goes through the session pipe
};

inline constexpr const wchar_t* kLogonIndicatorProgram = L"kivra.exe";
inline constexpr const wchar_t* kUserIndicatorProgram = L"kivrad.exe";

// The logon indicator runs with the service's token moved into the session, on the logon desktop,
// with the service's environment and flags 0; on Windows XP (`isWindowsXp`, the service's flag) a
// start refused for an unconnected session goes through the session pipe. The user indicator
// runs on the user's desktop with an environment block and CREATE_UNICODE_ENVIRONMENT |
// HIGH_PRIORITY_CLASS: on Windows 5.x and earlier (`majorVersion`, its own cached version; 0
// when unknown) with the session user's token, from Windows Vista on with the service's token
// moved into the session and a profile loaded for it; it has no pipe fallback.
IndicatorPlan PlanIndicatorLaunch(Indicator indicator, DWORD majorVersion, BOOL isWindowsXp);

// A refused start is tried again after a pause only while the program file is not found, and at
// most this many times in all; the pause follows every such refusal, the last one included.
inline constexpr int kIndicatorStartAttempts = 10;
inline constexpr DWORD kIndicatorRetryPauseMs = 500;
bool RetryIndicatorStart(DWORD createProcessError);

// "<programDir>\<program>" into `path`; false when it does not fit (the launch then gives up).
bool FormatIndicatorPath(wchar_t* path, size_t pathUnits, const wchar_t* programDir, const wchar_t* program);
