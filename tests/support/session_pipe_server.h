// The platform's side of the Windows XP session pipe, played by a test: a named-pipe server for
// the session's process-creation pipe, and the test prefix's own system32\winsta.dll replaced
// by the project's stand-in (the service loads that library by its full path, which a
// per-program DLL override does not reach).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace standin {

using Bytes = std::vector<BYTE>;

inline constexpr DWORD kSessionPipeResponseSize = 28;

// Little-endian fields of the wire records.
DWORD GetU32(const BYTE* bytes, size_t offset);
void PutU32(BYTE* bytes, size_t offset, DWORD value);
// The NUL-terminated UTF-16LE string at `offset` of a request (empty when out of range).
std::wstring RequestString(const Bytes& request, DWORD offset);

// Serves each connection by reading one request (its first word is its total size) and writing
// the 28-byte answer that `respond` fills in (by default: the bytes of `answer`).
class TestPipeServer {
public:
    using Responder = std::function<void(const Bytes& request, BYTE (&answer)[kSessionPipeResponseSize])>;

    TestPipeServer(const std::wstring& name, DWORD defaultTimeoutMs, Responder respond = nullptr);
    ~TestPipeServer();
    TestPipeServer(const TestPipeServer&) = delete;
    TestPipeServer& operator=(const TestPipeServer&) = delete;

    BYTE answer[kSessionPipeResponseSize] = {};
    std::atomic<int> connections{0};
    Bytes lastRequest;

private:
    void Serve();

    std::wstring name_;
    Responder respond_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// What a request asked the server to create.
struct RequestedProcess {
    std::wstring application, commandLine, desktop;
    DWORD flags = 0;
    bool environment = false;
};
// A responder that plays terminal services' part: creates the process the request describes (its
// application, command line, desktop, creation flags and environment) and answers with the new
// process's handles and ids, as that server hands them back, or with the creation's error. What
// the request asked for goes to *seen, which must outlive the server.
TestPipeServer::Responder CreateRequestedProcess(RequestedProcess* seen);

// A pipe name no other test uses.
std::wstring UniquePipeName();

// Puts the stand-in `standIn` (a DLL in the bin folder) in place of the test prefix's own
// system32\winsta.dll, and the original back afterwards.
class ReplacedSystemWinsta {
public:
    explicit ReplacedSystemWinsta(const wchar_t* standIn);
    ~ReplacedSystemWinsta();
    ReplacedSystemWinsta(const ReplacedSystemWinsta&) = delete;
    ReplacedSystemWinsta& operator=(const ReplacedSystemWinsta&) = delete;

private:
    std::wstring target_;
    std::wstring backup_;
};

}  // namespace standin
