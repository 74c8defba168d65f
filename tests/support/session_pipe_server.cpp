#include "session_pipe_server.h"

#include <cstring>
#include <stdexcept>

#include "test_files.h"

namespace standin {

DWORD GetU32(const BYTE* bytes, size_t offset)
{
    DWORD value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + i];
    return value;
}

void PutU32(BYTE* bytes, size_t offset, DWORD value)
{
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<BYTE>(value >> (8 * i));
}

std::wstring RequestString(const Bytes& request, DWORD offset)
{
    std::wstring text;
    for (size_t at = offset; at + 1 < request.size(); at += 2) {
        const wchar_t unit = static_cast<wchar_t>(request[at] | request[at + 1] << 8);
        if (unit == L'\0') break;
        text.push_back(unit);
    }
    return text;
}

TestPipeServer::TestPipeServer(const std::wstring& name, DWORD defaultTimeoutMs, Responder respond)
    : name_(name), respond_(std::move(respond))
{
    pipe_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536,
                             65536, defaultTimeoutMs, nullptr);
    if (pipe_ == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateNamedPipeW failed");
    thread_ = std::thread([this] { Serve(); });
}

TestPipeServer::~TestPipeServer()
{
    stopping_ = true;
    // Wake a pending ConnectNamedPipe with a connection of our own.
    HANDLE wake = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (wake != INVALID_HANDLE_VALUE) CloseHandle(wake);
    thread_.join();
    CloseHandle(pipe_);
}

void TestPipeServer::Serve()
{
    while (!stopping_) {
        if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) break;
        if (stopping_) break;
        ++connections;
        Bytes request(4);
        DWORD read = 0;
        if (ReadFile(pipe_, request.data(), 4, &read, nullptr) && read == 4) {
            const DWORD total = GetU32(request.data(), 0);
            request.resize(total < 4 ? 4 : total);
            DWORD got = 4;
            while (got < total && ReadFile(pipe_, request.data() + got, total - got, &read, nullptr)) got += read;
            lastRequest = request;
            BYTE reply[kSessionPipeResponseSize];
            std::memcpy(reply, answer, sizeof reply);
            if (respond_) respond_(request, reply);
            DWORD written = 0;
            WriteFile(pipe_, reply, sizeof reply, &written, nullptr);
            FlushFileBuffers(pipe_);
        }
        DisconnectNamedPipe(pipe_);
    }
}

TestPipeServer::Responder CreateRequestedProcess(RequestedProcess* seen)
{
    return [seen](const Bytes& request, BYTE (&answer)[kSessionPipeResponseSize]) {
        seen->application = RequestString(request, GetU32(request.data(), 16));
        seen->commandLine = RequestString(request, GetU32(request.data(), 20));
        seen->desktop = RequestString(request, GetU32(request.data(), 72));
        seen->flags = GetU32(request.data(), 52);
        const DWORD environment = GetU32(request.data(), 56);
        seen->environment = environment != 0;
        std::wstring commandLine = seen->commandLine;
        std::wstring desktop = seen->desktop;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        startup.lpDesktop = desktop.data();
        PROCESS_INFORMATION created{};
        if (!CreateProcessW(seen->application.c_str(), commandLine.data(), nullptr, nullptr, FALSE, seen->flags,
                            environment != 0 ? const_cast<BYTE*>(request.data() + environment) : nullptr, nullptr,
                            &startup, &created)) {
            PutU32(answer, 8, GetLastError());
            return;
        }
        PutU32(answer, 4, 1);
        PutU32(answer, 12, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(created.hProcess)));
        PutU32(answer, 16, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(created.hThread)));
        PutU32(answer, 20, created.dwProcessId);
        PutU32(answer, 24, created.dwThreadId);
    };
}

std::wstring UniquePipeName()
{
    static LONG counter = 0;
    return L"\\\\.\\pipe\\fnkey-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(InterlockedIncrement(&counter));
}

ReplacedSystemWinsta::ReplacedSystemWinsta(const wchar_t* standIn)
{
    wchar_t system[MAX_PATH];
    GetSystemDirectoryW(system, MAX_PATH);
    target_ = std::wstring(system) + L"\\winsta.dll";
    backup_ = target_ + L".fnkey-original";
    if (!MoveFileExW(target_.c_str(), backup_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        throw std::runtime_error("cannot move system32\\winsta.dll aside");
    }
    if (!CopyFileW(testfiles::BinPath(standIn).c_str(), target_.c_str(), FALSE)) {
        MoveFileExW(backup_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING);
        throw std::runtime_error("cannot copy the winsta stand-in");
    }
}

ReplacedSystemWinsta::~ReplacedSystemWinsta()
{
    DeleteFileW(target_.c_str());
    MoveFileExW(backup_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING);
}

}  // namespace standin
