#include "host/indicator_plan.h"

#include "bounded_string.h"
#include "dispatch/launch_plan.h"

IndicatorPlan PlanIndicatorLaunch(Indicator indicator, DWORD majorVersion, BOOL isWindowsXp)
{
    IndicatorPlan plan;
    if (indicator == Indicator::Logon) {
        plan.program = kLogonIndicatorProgram;
        plan.desktop = kLogonDesktop;
        plan.token = IndicatorToken::ServiceTokenInSession;
        plan.loadProfile = false;
        plan.environmentBlock = false;
        plan.creationFlags = 0;
        plan.pipeFallback = isWindowsXp != FALSE;
        return plan;
    }
    plan.program = kUserIndicatorProgram;
    plan.desktop = kUserDesktop;
    // Before Vista the session's own user token is at hand; from Vista on the indicator runs with
    // the service's token in the user's session and needs a profile loaded for that token.
    const bool beforeVista = majorVersion <= 5;
    plan.token = beforeVista ? IndicatorToken::SessionUser : IndicatorToken::ServiceTokenInSession;
    plan.loadProfile = !beforeVista;
    plan.environmentBlock = true;
    plan.creationFlags = CREATE_UNICODE_ENVIRONMENT | HIGH_PRIORITY_CLASS;
    plan.pipeFallback = false;
    return plan;
}

bool RetryIndicatorStart(DWORD createProcessError)
{
    return createProcessError == ERROR_FILE_NOT_FOUND;
}

bool FormatIndicatorPath(wchar_t* path, size_t pathUnits, const wchar_t* programDir, const wchar_t* program)
{
    return BoundedFormat(path, pathUnits, L"%s\\%s", programDir, program);
}
