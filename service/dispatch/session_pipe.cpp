#include "dispatch/session_pipe.h"

#include <cwchar>

#include "bounded_string.h"
#include "dispatch/session_pipe_request.h"
#include "proc_address.h"
#include "unique_handle.h"

namespace {

constexpr ULONG kProcessCreationPipeInfo = 33;
constexpr DWORD kNameUnits = MAX_PATH;

// The session's pipe name from winsta.dll, loaded by its full path in the system directory.
bool QuerySessionPipeName(DWORD sessionId, wchar_t (&name)[kNameUnits])
{
    wchar_t library[MAX_PATH] = {};
    const UINT length = GetSystemDirectoryW(library, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    if (!BoundedCat(library, MAX_PATH, L"\\winsta.dll")) return false;
    UniqueModule winsta(LoadLibraryW(library));
    if (!winsta) return false;

    using QueryFn = BOOLEAN(WINAPI*)(HANDLE, ULONG, ULONG, PVOID, ULONG, PULONG);
    const auto query = GetProcAs<QueryFn>(winsta.Get(), "WinStationQueryInformationW");
    if (query == nullptr) return false;
    wmemset(name, L'\0', kNameUnits);
    ULONG returned = 0;
    const BOOLEAN ok = query(nullptr, sessionId, kProcessCreationPipeInfo, name, kNameUnits, &returned);
    name[kNameUnits - 1] = L'\0';  // whatever the library wrote, the name ends inside the buffer
    return ok && name[0] != L'\0';
}

UniqueFile OpenSessionPipe(const wchar_t* name)
{
    for (;;) {
        UniqueFile pipe(CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        if (pipe || GetLastError() != ERROR_PIPE_BUSY) return pipe;
        // Busy: wait for a free instance (the server's default time-out) and try again.
        if (!WaitNamedPipeW(name, NMPWAIT_USE_DEFAULT_WAIT)) return pipe;
    }
}

// Sign-extends a 32-bit handle value the way 32-bit handles map into a 64-bit process.
HANDLE WireHandle(DWORD value)
{
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(static_cast<LONG>(value)));
}

}  // namespace

BOOL CreateProcessViaSessionPipe(DWORD sessionId, const wchar_t* applicationName, const wchar_t* commandLine,
                                 BOOL inheritHandles, DWORD creationFlags, void* environment,
                                 const STARTUPINFOW* startupInfo, PROCESS_INFORMATION* processInfo)
{
    PipeLaunchRequest fields;
    fields.processId = GetCurrentProcessId();
    fields.applicationName = applicationName;
    fields.commandLine = commandLine;
    fields.inheritHandles = inheritHandles;
    fields.creationFlags = creationFlags;
    fields.environment = environment;
    fields.startupInfo = startupInfo;
    PipeRequestBlock request;
    if (!BuildPipeLaunchRequest(fields, &request)) return FALSE;

    wchar_t pipeName[kNameUnits];
    if (!QuerySessionPipeName(sessionId, pipeName)) return FALSE;

    UniqueFile pipe = OpenSessionPipe(pipeName);
    if (!pipe) return FALSE;

    DWORD written = 0;
    if (!WriteFile(pipe.Get(), request.Data(), request.Used(), &written, nullptr)) return FALSE;
    BYTE answer[kPipeResponseSize] = {};
    DWORD read = 0;
    if (!ReadFile(pipe.Get(), answer, sizeof answer, &read, nullptr)) return FALSE;
    // A request that did not go out whole, or an answer cut short, is no answer.
    if (written != request.Used() || read != sizeof answer) {
        SetLastError(ERROR_INVALID_DATA);
        return FALSE;
    }

    const PipeLaunchResponse response = ParsePipeLaunchResponse(answer);
    if (response.created == 0) {
        SetLastError(response.error);
        return FALSE;
    }
    processInfo->hProcess = WireHandle(response.process);
    processInfo->hThread = WireHandle(response.thread);
    processInfo->dwProcessId = response.processId;
    processInfo->dwThreadId = response.threadId;
    return TRUE;
}
