#include "dispatch/launch_plan.h"

#include <wtsapi32.h>

LaunchPlan PlanConsoleLaunch(const SessionView& session, BOOL isWindowsXp, BOOL noInteractiveUser, DWORD lockedMode)
{
    LaunchPlan plan;
    DWORD connectState = WTSConnected;
    if (session.connectStateKnown) {
        connectState = session.connectState;
    } else if (!isWindowsXp) {
        return plan;  // Refuse
    }

    if (connectState == WTSActive && !noInteractiveUser) {
        plan.outcome = LaunchOutcome::Start;
        plan.userDesktop = true;
        plan.token = LaunchToken::SessionUser;
        plan.desktop = kUserDesktop;
        plan.environmentBlock = true;
        plan.creationFlags = HIGH_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT;
        return plan;
    }

    plan.userDesktop = false;
    plan.token = LaunchToken::ServiceTokenInSession;
    plan.desktop = kLogonDesktop;
    plan.environmentBlock = false;
    plan.creationFlags = HIGH_PRIORITY_CLASS;
    plan.signatureRequired = true;
    plan.outcome = lockedMode != 0 ? LaunchOutcome::Start : LaunchOutcome::Consume;
    return plan;
}

bool RedirectionOffForLaunch(BOOL isWow64, DWORD nativePath)
{
    return isWow64 && nativePath != 0;
}

bool UsePipeFallback(BOOL isWindowsXp, DWORD createProcessError)
{
    return isWindowsXp && createProcessError == ERROR_PIPE_NOT_CONNECTED;
}
