#include "host/indicator_launch.h"

#include "bounded_string.h"
#include "dispatch/launch_plan.h"
#include "dispatch/program_file_lock.h"
#include "dispatch/session_pipe.h"
#include "dispatch/session_token.h"
#include "dispatch/signature_check.h"
#include "host/indicator_plan.h"
#include "host/service_state.h"
#include "win32_owners.h"

std::atomic<DWORD> g_userIndicatorMajorVersion{0};

namespace {

DWORD UserIndicatorMajorVersion()
{
    DWORD major = g_userIndicatorMajorVersion.load();
    if (major == 0) {
        OSVERSIONINFOW version{};
        version.dwOSVersionInfoSize = sizeof version;
        GetVersionExW(&version);  // a failure leaves 0
        major = version.dwMajorVersion;
        g_userIndicatorMajorVersion.store(major);
    }
    return major;
}

// The indicator's program file, held (see LockProgramFile) and checked for the publisher's
// signature through the held handle. Invalid when it cannot be opened or the check fails.
UniqueFile HoldSignedProgram(const wchar_t* path)
{
    UniqueFile held = LockProgramFile(path);
    if (held && !VerifyPublisherSignature(path, held.Get(), kPublisherName)) held.Reset();
    return held;
}

// The new process's startup information: only cb and the desktop. Not Ready() when the desktop's
// name does not fit.
class IndicatorStartup {
public:
    explicit IndicatorStartup(const wchar_t* desktop)
    {
        info_.cb = sizeof info_;
        if (BoundedCopy(desktop_, ARRAYSIZE(desktop_), desktop)) info_.lpDesktop = desktop_;
    }
    IndicatorStartup(const IndicatorStartup&) = delete;
    IndicatorStartup& operator=(const IndicatorStartup&) = delete;
    bool Ready() const { return info_.lpDesktop != nullptr; }
    STARTUPINFOW* Get() { return &info_; }

private:
    wchar_t desktop_[32] = {};
    STARTUPINFOW info_{};
};

// Creates the indicator's process as the plan says: CreateProcessAsUserW with `path` as
// application name and command line, tried again after each ERROR_FILE_NOT_FOUND, then the
// session pipe where the plan allows it; no further attempt once the service is asked to stop.
// Call while impersonating `token`.
BOOL StartIndicator(DWORD sessionId, HANDLE token, wchar_t* path, const IndicatorPlan& plan, void* environment,
                    STARTUPINFOW* startup, PROCESS_INFORMATION* process)
{
    BOOL created = FALSE;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kIndicatorStartAttempts; ++attempt) {
        created = CreateProcessAsUserW(token, path, path, nullptr, nullptr, FALSE, plan.creationFlags, environment,
                                       nullptr, startup, process);
        if (created) return TRUE;
        error = GetLastError();
        if (!RetryIndicatorStart(error)) break;
        // A stop ends the retries: ServiceMain's start-up launches would otherwise hold the stop
        // for up to the whole retry time of each indicator in turn.
        if (g_serviceState.stopRequested) break;
        Sleep(kIndicatorRetryPauseMs);
    }
    if (UsePipeFallback(plan.pipeFallback, error)) {
        return CreateProcessViaSessionPipe(sessionId, path, path, FALSE, plan.creationFlags, environment, startup,
                                           process);
    }
    SetLastError(error);
    return FALSE;
}

// Carries out `plan` for `sessionId`.
BOOL LaunchIndicator(const IndicatorPlan& plan, DWORD sessionId)
{
    const ServiceState& state = g_serviceState;
    wchar_t path[MAX_PATH];
    if (!FormatIndicatorPath(path, MAX_PATH, state.programDir, plan.program)) return FALSE;

    // Declared so that they go in reverse: the impersonation is reverted first, then the new
    // process's thread and process handles are closed, the environment block destroyed, the
    // profile unloaded (before its token is closed), the user name freed, the token closed; the
    // program file, held from before its check until the process exists, goes last.
    const UniqueFile heldProgram = HoldSignedProgram(path);
    if (!heldProgram) return FALSE;
    IndicatorStartup startup(plan.desktop);
    if (!startup.Ready()) return FALSE;
    UniqueKernelHandle token;
    UniqueWtsMemory userName;
    UniqueLoadedProfile profile;

    if (plan.token == IndicatorToken::SessionUser) {
        if (!WTSQueryUserToken(sessionId, token.Put())) return FALSE;
    } else if (!MoveServiceTokenIntoSession(state.primaryToken, sessionId, &token)) {
        return FALSE;
    }
    if (plan.loadProfile) {
        DWORD bytes = 0;
        if (!WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSUserName, userName.Put(), &bytes)) {
            return FALSE;
        }
        PROFILEINFOW profileInfo{};
        profileInfo.dwSize = sizeof profileInfo;
        profileInfo.lpUserName = userName.Get();
        if (!LoadUserProfileW(token.Get(), &profileInfo)) return FALSE;
        profile.Reset({token.Get(), profileInfo.hProfile});
    }

    UniqueEnvironmentBlock environment;
    ProcessHandles process;
    ScopedImpersonation impersonation(token.Get());
    if (!impersonation.Active()) return FALSE;
    if (plan.environmentBlock && !CreateEnvironmentBlock(environment.Put(), token.Get(), TRUE)) return FALSE;

    if (!StartIndicator(sessionId, token.Get(), path, plan, environment.Get(), startup.Get(), process.Receive())) {
        return FALSE;
    }
    process.Adopt();
    return TRUE;
}

}  // namespace

BOOL LaunchLogonIndicator(DWORD sessionId)
{
    return LaunchIndicator(PlanIndicatorLaunch(Indicator::Logon, 0, g_serviceState.isWindowsXp), sessionId);
}

BOOL LaunchUserIndicator(DWORD sessionId)
{
    const DWORD majorVersion = UserIndicatorMajorVersion();  // read first, whatever the launch comes to
    return LaunchIndicator(PlanIndicatorLaunch(Indicator::User, majorVersion, g_serviceState.isWindowsXp), sessionId);
}
