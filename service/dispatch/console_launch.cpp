#include "dispatch/console_launch.h"

#include <cstring>
#include <cwchar>

#include "bounded_string.h"
#include "dispatch/launch_plan.h"
#include "dispatch/program_file_lock.h"
#include "dispatch/session_pipe.h"
#include "dispatch/session_token.h"
#include "dispatch/signature_check.h"
#include "host/service_state.h"
#include "registry/wow64.h"
#include "win32_owners.h"

FsRedirectionSwitch g_launchRedirection = {DisableFsRedirection, RevertFsRedirection};

namespace {

// Switches redirection off for the owner's lifetime when asked to and when that succeeds.
class RedirectionOff {
public:
    explicit RedirectionOff(bool wanted) : active_(wanted && g_launchRedirection.disable(&previous_)) {}
    ~RedirectionOff()
    {
        if (active_) g_launchRedirection.revert(previous_);
    }
    RedirectionOff(const RedirectionOff&) = delete;
    RedirectionOff& operator=(const RedirectionOff&) = delete;

private:
    PVOID previous_ = nullptr;
    bool active_;
};

SessionView QueryConnectState(DWORD sessionId)
{
    SessionView view;
    UniqueWtsMemory buffer;
    DWORD bytes = 0;
    if (WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, sessionId, WTSConnectState, buffer.Put(), &bytes) &&
        buffer && bytes >= sizeof(DWORD)) {
        view.connectStateKnown = true;
        std::memcpy(&view.connectState, buffer.Get(), sizeof(DWORD));
    }
    return view;
}

}  // namespace

bool LaunchInConsoleSession(const HandlerSpec& handler, DWORD sessionId)
{
    const ServiceState& state = g_serviceState;
    const LaunchPlan plan = PlanConsoleLaunch(QueryConnectState(sessionId), state.isWindowsXp,
                                              state.noInteractiveUser.load(), handler.lockedMode);
    if (plan.outcome == LaunchOutcome::Refuse) return false;
    if (plan.outcome == LaunchOutcome::Consume) return true;
    const bool redirect = RedirectionOffForLaunch(state.isWow64, handler.nativePath);

    // Declared in this order so that they go in reverse: the environment block, the
    // impersonation (reverted before its token is closed), the new process's handles, the token,
    // and last the program file, held from before its check until the process exists.
    UniqueFile heldProgram;
    UniqueKernelHandle token;
    ProcessHandles process;

    if (plan.signatureRequired) {
        {
            RedirectionOff off(redirect);  // the file held is the one the start will see
            heldProgram = LockProgramFile(handler.applicationPath);
        }
        if (!heldProgram) return false;
        // Through the held handle, with redirection back on: libraries the verification loads
        // for the first time must come from the 32-bit system folder.
        if (!VerifyPublisherSignature(handler.applicationPath, heldProgram.Get(), kPublisherName)) return false;
    }

    if (plan.token == LaunchToken::SessionUser) {
        if (!WTSQueryUserToken(sessionId, token.Put())) return false;
    } else if (!MoveServiceTokenIntoSession(state.primaryToken, sessionId, &token)) {
        return false;
    }

    ScopedImpersonation impersonation(token.Get());
    if (!impersonation.Active()) return false;

    UniqueEnvironmentBlock environment;
    if (plan.environmentBlock && !CreateEnvironmentBlock(environment.Put(), token.Get(), TRUE)) return false;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    wchar_t desktop[32];
    if (!BoundedCopy(desktop, ARRAYSIZE(desktop), plan.desktop)) return false;
    startup.lpDesktop = desktop;
    wchar_t commandLine[MAX_PATH];
    wmemcpy(commandLine, handler.commandLine, MAX_PATH);  // CreateProcessAsUserW may write into it

    BOOL created = FALSE;
    {
        RedirectionOff off(redirect);
        created = CreateProcessAsUserW(token.Get(), handler.applicationPath, commandLine, nullptr, nullptr, FALSE,
                                       plan.creationFlags, environment.Get(), nullptr, &startup, process.Receive());
        if (!created && UsePipeFallback(state.isWindowsXp, GetLastError())) {
            created = CreateProcessViaSessionPipe(sessionId, handler.applicationPath, commandLine, FALSE,
                                                  plan.creationFlags, environment.Get(), &startup, process.Receive());
        }
    }
    if (!created) return false;
    process.Adopt();
    SetThreadPriority(process.Thread(), THREAD_PRIORITY_HIGHEST);
    return true;
}
