// The decision of a console-session launch, apart from its effects: which desktop, token,
// environment and flags a handler gets, and whether its signature must be checked.
#pragma once

#include <windows.h>

enum class LaunchOutcome {
    Refuse,   // give up: false, nothing started
    Consume,  // the press is used up without a start: true, nothing started
    Start,    // go on and start the handler as the plan says
};

enum class LaunchToken {
    SessionUser,           // WTSQueryUserToken of the session
    ServiceTokenInSession  // a primary copy of the service's token, moved into the session
};

struct LaunchPlan {
    LaunchOutcome outcome = LaunchOutcome::Refuse;
    bool userDesktop = false;  // user's desktop (else the secure logon desktop)
    LaunchToken token = LaunchToken::SessionUser;
    const wchar_t* desktop = nullptr;  // lpDesktop
    bool environmentBlock = false;     // build one for the token (else inherit the service's)
    DWORD creationFlags = 0;
    bool signatureRequired = false;
};

inline constexpr const wchar_t* kUserDesktop = L"WinSta0\\Default";
inline constexpr const wchar_t* kLogonDesktop = L"WinSta0\\WinLogon";

// The session's connect state as the launch learned it.
struct SessionView {
    bool connectStateKnown = false;  // WTSQuerySessionInformationW answered
    DWORD connectState = 0;          // a WTS_CONNECTSTATE_CLASS value, when known
};

// The user's desktop only when the session is active and a logged-on, unlocked user owns the
// console; otherwise the logon desktop, which needs the hotkey's "LockedMode" (without it the
// press is consumed) and a publisher signature. A connect state that cannot be learned refuses
// the launch, except on Windows XP, where the session counts as merely connected.
LaunchPlan PlanConsoleLaunch(const SessionView& session, BOOL isWindowsXp, BOOL noInteractiveUser, DWORD lockedMode);

// Whether file-system redirection is switched off around the opening of the program file and
// around the start: only for a 32-bit service on 64-bit Windows and a hotkey that asks for the
// native path.
bool RedirectionOffForLaunch(BOOL isWow64, DWORD nativePath);

// Whether a refused CreateProcessAsUserW is retried through the session's pipe: Windows XP's
// refusal for a session whose terminal-services side is not connected.
bool UsePipeFallback(BOOL isWindowsXp, DWORD createProcessError);
