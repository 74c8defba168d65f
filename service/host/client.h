// The command-line client: fnkeyd with one argument /open:N, /close:N, /query:N or /notify:N (or
// with "-" for "/") reports or changes the on/off state of class-01 hotkey N (1..32), or makes
// the running service handle hotkey N as if it had been pressed. It reads "CurrentSetting"
// itself but never writes the registry: changes go through the hotkey-number section and the
// custom controls of the running service. The answer is the exit code: 0, 1 (query: on) or -1.
#pragma once

#include <windows.h>

enum class ClientCommand : DWORD {
    Open = 0,    // make sure bit N-1 of "CurrentSetting" is set (control 128 only when it is clear)
    Close = 1,   // make sure it is clear (control 128 only when it is set)
    Query = 2,   // report it
    Notify = 3,  // control 129, always
};

struct ClientRequest {
    ClientCommand command = ClientCommand::Query;
    DWORD index = 0;  // HotkeyNumber - 1
};

inline constexpr int kClientFailed = -1;

// Parses the one argument: "/" or "-", then the first keyword ("open:", "close:", "query:",
// "notify:", case-sensitive) the text begins with, then N read like wcstol in base 10 (leading
// blanks and a sign accepted, trailing text ignored, no digits giving 0), which must lie in 1..32.
// False for anything else.
bool ParseClientArgument(const wchar_t* argument, ClientRequest* request);

// What the client does once it has read "CurrentSetting": answer at once with `exitCode`, or
// send `control` to the running service.
struct ClientStep {
    bool contactService = false;
    DWORD control = 0;
    int exitCode = 0;
};
ClientStep DecideClientStep(const ClientRequest& request, DWORD currentSetting);

// Client mode for a parsed request; returns the exit code. Tries up to kClientAttempts times,
// kClientRetryPauseMs apart, to find the service running with its section in place.
int RunClient(const ClientRequest& request);

inline constexpr int kClientAttempts = 10;
inline constexpr DWORD kClientRetryPauseMs = 500;
