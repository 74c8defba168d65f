#include "dispatch/console_launch.h"
#include "dispatch/handler_resolution.h"
#include "host/service_state.h"

bool DispatchHotkey(HotkeyClass hotkeyClass, DWORD index)
{
    // The session active at the moment of the press is the target, not the last one recorded.
    const DWORD sessionId = WTSGetActiveConsoleSessionId();
    if (!g_serviceState.running) return false;
    HandlerSpec handler;
    if (!ResolveHandler(hotkeyClass, index, &handler)) return false;
    return LaunchInConsoleSession(handler, sessionId);
}
