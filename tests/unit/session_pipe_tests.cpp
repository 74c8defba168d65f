#include <doctest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/session_pipe.h"
#include "dispatch/session_pipe_request.h"
#include "standins.h"
#include "test_files.h"

namespace {

using Bytes = std::vector<BYTE>;

void Put32(Bytes& bytes, size_t offset, DWORD value)
{
    for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<BYTE>(value >> (8 * i));
}

void PutText(Bytes& bytes, size_t offset, const std::wstring& text)
{
    for (size_t i = 0; i <= text.size(); ++i) {
        const wchar_t unit = i < text.size() ? text[i] : L'\0';
        bytes[offset + 2 * i] = static_cast<BYTE>(unit);
        bytes[offset + 2 * i + 1] = static_cast<BYTE>(unit >> 8);
    }
}

DWORD Get32(const BYTE* bytes, size_t offset)
{
    DWORD value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | bytes[offset + i];
    return value;
}

Bytes Used(const PipeRequestBlock& block)
{
    return Bytes(block.Data(), block.Data() + block.Used());
}

}  // namespace

TEST_SUITE("pipe_request") {
TEST_CASE("the request of two 10-character strings and the logon desktop, byte for byte")
{
    wchar_t desktop[] = L"WinSta0\\WinLogon";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop;
    PipeLaunchRequest request;
    request.processId = 0x11223344;
    request.applicationName = L"C:\\run.exe";
    request.commandLine = L"run.exe -x";
    request.creationFlags = HIGH_PRIORITY_CLASS;
    request.startupInfo = &startup;
    PipeRequestBlock block;
    REQUIRE(BuildPipeLaunchRequest(request, &block));

    Bytes expected(228, 0);
    Put32(expected, 0, 228);
    Put32(expected, 4, 0x11223344);
    Put32(expected, 8, 1);
    Put32(expected, 16, 148);
    Put32(expected, 20, 170);
    Put32(expected, 52, 0x80);
    Put32(expected, 64, 68);  // the STARTUPINFOW's cb as the 32-bit layout has it
    Put32(expected, 72, 192);
    Put32(expected, 76, 226);
    PutText(expected, 148, L"C:\\run.exe");
    PutText(expected, 170, L"run.exe -x");
    PutText(expected, 192, L"WinSta0\\WinLogon");
    PutText(expected, 226, L"");
    CHECK(Used(block) == expected);
    CHECK(block.Size() == 8192);
    for (DWORD i = block.Used(); i < block.Size(); ++i) REQUIRE(block.Data()[i] == 0);
}

TEST_CASE("the environment block is measured up to its double NUL and appended after the strings")
{
    static const wchar_t unicodeTwo[] = L"A=1\0B=2\0\0junk";
    static const wchar_t unicodeEmpty[] = L"\0\0junk";
    static const char ansiTwo[] = "A=1\0B=2\0\0junk";
    struct Row {
        const char* name;
        const void* environment;
        DWORD flags;
        DWORD bytes;
    };
    const Row rows[] = {
        {"Unicode, two strings of three characters", unicodeTwo, CREATE_UNICODE_ENVIRONMENT, 18},
        {"empty Unicode block", unicodeEmpty, CREATE_UNICODE_ENVIRONMENT, 4},
        {"ANSI, the same two strings", ansiTwo, 0, 9},
    };
    for (const auto& row : rows) {
        INFO(row.name);
        CHECK(EnvironmentBlockBytes(row.environment, row.flags & CREATE_UNICODE_ENVIRONMENT) == row.bytes);
        PipeLaunchRequest request;
        request.applicationName = L"a";
        request.creationFlags = row.flags;
        request.environment = row.environment;
        PipeRequestBlock block;
        REQUIRE(BuildPipeLaunchRequest(request, &block));
        // strings: "a" (4 bytes), then three empty ones (2 bytes each) -> the environment at 158
        CHECK(Get32(block.Data(), 56) == 158);
        CHECK(block.Used() == 158 + row.bytes);
        CHECK(Get32(block.Data(), 0) == block.Used());
        CHECK(std::memcmp(block.Data() + 158, row.environment, row.bytes) == 0);
    }

    PipeLaunchRequest none;
    PipeRequestBlock block;
    REQUIRE(BuildPipeLaunchRequest(none, &block));
    CHECK(Get32(block.Data(), 56) == 0);
    CHECK(block.Used() == 156);  // four empty strings: the request ends after the title
}

TEST_CASE("growing past 8192 bytes keeps what was written before")
{
    SUBCASE("an environment larger than the block")
    {
        std::wstring environment = L"BIG=" + std::wstring(6000, L'x');
        environment.push_back(L'\0');
        environment.push_back(L'\0');
        PipeLaunchRequest request;
        request.applicationName = L"C:\\run.exe";
        request.commandLine = L"run.exe -x";
        request.creationFlags = CREATE_UNICODE_ENVIRONMENT;
        request.environment = environment.c_str();
        PipeRequestBlock block;
        REQUIRE(BuildPipeLaunchRequest(request, &block));
        const DWORD bytes = static_cast<DWORD>(environment.size() * sizeof(wchar_t));
        const DWORD start = Get32(block.Data(), 56);
        CHECK(block.Size() == start + bytes + 8192);
        CHECK(block.Used() == start + bytes);
        CHECK(Get32(block.Data(), 16) == 148);
        CHECK(std::memcmp(block.Data() + 148, L"C:\\run.exe", 22) == 0);
        CHECK(std::memcmp(block.Data() + start, environment.c_str(), bytes) == 0);
    }
    SUBCASE("strings appended one after another, and one longer than a whole step")
    {
        PipeRequestBlock block;
        REQUIRE(block.Allocate());
        std::vector<std::pair<DWORD, std::wstring>> appended;
        for (int i = 0; i < 40; ++i) {
            std::wstring text(100 + i, static_cast<wchar_t>(L'a' + i % 26));
            DWORD offset = 0;
            REQUIRE(AppendRequestString(text.c_str(), &block, &offset));
            appended.emplace_back(offset, text);
        }
        const std::wstring huge(5000, L'z');  // 10002 bytes: more than one step of growth
        DWORD hugeOffset = 0;
        REQUIRE(AppendRequestString(huge.c_str(), &block, &hugeOffset));
        appended.emplace_back(hugeOffset, huge);
        CHECK(block.Size() % 8192 == 0);
        CHECK(block.Size() >= block.Used());
        DWORD expectedOffset = 148;
        for (const auto& [offset, text] : appended) {
            CHECK(offset == expectedOffset);
            CHECK(std::memcmp(block.Data() + offset, text.c_str(), (text.size() + 1) * 2) == 0);
            expectedOffset += static_cast<DWORD>((text.size() + 1) * 2);
        }
        DWORD nullOffset = 0;
        REQUIRE(AppendRequestString(nullptr, &block, &nullOffset));  // null counts as empty
        CHECK(block.Used() == nullOffset + 2);
    }
}

TEST_CASE("the response is read field by field, handles as 32-bit values")
{
    const BYTE bytes[kPipeResponseSize] = {9, 9, 9, 9, 1, 0, 0, 0, 5, 0, 0, 0, 0x34, 0x12, 0, 0,
                                           0xFE, 0xFF, 0xFF, 0xFF, 0x10, 0x27, 0, 0, 0x20, 0x4E, 0, 0};
    const PipeLaunchResponse response = ParsePipeLaunchResponse(bytes);
    CHECK(response.created == 1);
    CHECK(response.error == 5);
    CHECK(response.process == 0x1234);
    CHECK(response.thread == 0xFFFFFFFE);
    CHECK(response.processId == 10000);
    CHECK(response.threadId == 20000);
}
}

namespace {

// The platform's side of a session's process-creation pipe, played by the test: serves each
// connection by reading one request and answering `answer`.
class TestPipeServer {
public:
    TestPipeServer(const std::wstring& name, DWORD defaultTimeoutMs) : name_(name)
    {
        pipe_ = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1,
                                 65536, 65536, defaultTimeoutMs, nullptr);
        if (pipe_ == INVALID_HANDLE_VALUE) throw std::runtime_error("CreateNamedPipeW failed");
        thread_ = std::thread([this] { Serve(); });
    }
    ~TestPipeServer()
    {
        stopping_ = true;
        // Wake a pending ConnectNamedPipe with a connection of our own.
        HANDLE wake = CreateFileW(name_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (wake != INVALID_HANDLE_VALUE) CloseHandle(wake);
        thread_.join();
        CloseHandle(pipe_);
    }

    BYTE answer[kPipeResponseSize] = {};
    std::atomic<int> connections{0};
    Bytes lastRequest;

private:
    void Serve()
    {
        while (!stopping_) {
            if (!ConnectNamedPipe(pipe_, nullptr) && GetLastError() != ERROR_PIPE_CONNECTED) break;
            if (stopping_) break;
            ++connections;
            Bytes request(4);
            DWORD read = 0;
            if (ReadFile(pipe_, request.data(), 4, &read, nullptr) && read == 4) {
                const DWORD total = Get32(request.data(), 0);
                request.resize(total);
                DWORD got = 4;
                while (got < total && ReadFile(pipe_, request.data() + got, total - got, &read, nullptr)) got += read;
                lastRequest = request;
                DWORD written = 0;
                WriteFile(pipe_, answer, sizeof answer, &written, nullptr);
                FlushFileBuffers(pipe_);
            }
            DisconnectNamedPipe(pipe_);
        }
    }

    std::wstring name_;
    HANDLE pipe_ = INVALID_HANDLE_VALUE;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

// Puts a stand-in in place of the test prefix's own system32\winsta.dll (the service loads that
// library by its full path, which a per-program DLL override does not reach) and puts the
// original back afterwards.
class ReplacedSystemWinsta {
public:
    explicit ReplacedSystemWinsta(const wchar_t* standIn)
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
    ~ReplacedSystemWinsta()
    {
        DeleteFileW(target_.c_str());
        MoveFileExW(backup_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING);
    }

private:
    std::wstring target_;
    std::wstring backup_;
};

constexpr DWORD kSession = 7;

standin::Session PipeOnly(const std::wstring& pipeName)
{
    standin::Session session;
    session.pipeName = pipeName;
    return session;
}

std::wstring UniquePipeName()
{
    static int counter = 0;
    return L"\\\\.\\pipe\\fnkey-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(++counter);
}

struct SessionPipeFixture {
    SessionPipeFixture() { standin::ClearSessions(); }
    ~SessionPipeFixture() { standin::ClearSessions(); }
};

BOOL Launch(PROCESS_INFORMATION* info)
{
    wchar_t desktop[] = L"WinSta0\\WinLogon";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop;
    wchar_t commandLine[] = L"C:\\run.exe -x";
    return CreateProcessViaSessionPipe(kSession, L"C:\\run.exe", commandLine, FALSE, HIGH_PRIORITY_CLASS, nullptr,
                                       &startup, info);
}

PROCESS_INFORMATION Canary()
{
    PROCESS_INFORMATION info;
    std::memset(&info, 0xAB, sizeof info);
    return info;
}

}  // namespace

TEST_SUITE("pipe_exchange") {
TEST_CASE_FIXTURE(SessionPipeFixture, "a created process's handles and ids come back to the caller")
{
    ReplacedSystemWinsta winsta(L"winsta_standin.dll");
    const std::wstring name = UniquePipeName();
    standin::SetSession(kSession, PipeOnly(name));
    TestPipeServer server(name, 5000);
    const BYTE answer[kPipeResponseSize] = {0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0x34, 0x12, 0, 0,
                                            0x78, 0x56, 0, 0, 0x10, 0x27, 0, 0, 0x20, 0x4E, 0, 0};
    std::memcpy(server.answer, answer, sizeof answer);

    PROCESS_INFORMATION info = Canary();
    REQUIRE(Launch(&info));
    CHECK(info.hProcess == reinterpret_cast<HANDLE>(0x1234));
    CHECK(info.hThread == reinterpret_cast<HANDLE>(0x5678));
    CHECK(info.dwProcessId == 10000);
    CHECK(info.dwThreadId == 20000);
    REQUIRE(server.lastRequest.size() == 234);  // 148 + 22 + 28 + 34 + 2
    CHECK(Get32(server.lastRequest.data(), 4) == GetCurrentProcessId());
    CHECK(Get32(server.lastRequest.data(), 52) == HIGH_PRIORITY_CLASS);
}

TEST_CASE_FIXTURE(SessionPipeFixture, "a refusal leaves its error code and the caller's information untouched")
{
    ReplacedSystemWinsta winsta(L"winsta_standin.dll");
    const std::wstring name = UniquePipeName();
    standin::SetSession(kSession, PipeOnly(name));
    TestPipeServer server(name, 5000);
    server.answer[8] = ERROR_ACCESS_DENIED;  // created stays 0

    PROCESS_INFORMATION info = Canary();
    const PROCESS_INFORMATION before = info;
    SetLastError(0xdeadbeef);
    CHECK_FALSE(Launch(&info));
    CHECK(GetLastError() == ERROR_ACCESS_DENIED);
    CHECK(std::memcmp(&info, &before, sizeof info) == 0);
    CHECK(server.connections == 1);
}

TEST_CASE_FIXTURE(SessionPipeFixture, "a busy pipe is waited for and tried again")
{
    ReplacedSystemWinsta winsta(L"winsta_standin.dll");
    const std::wstring name = UniquePipeName();
    standin::SetSession(kSession, PipeOnly(name));

    SUBCASE("until it is free")
    {
        TestPipeServer server(name, 10000);
        server.answer[4] = 1;
        HANDLE squatter = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(squatter != INVALID_HANDLE_VALUE);
        std::thread release([squatter] {
            Sleep(300);
            CloseHandle(squatter);
        });
        PROCESS_INFORMATION info = Canary();
        CHECK(Launch(&info));
        release.join();
        CHECK(server.connections == 2);  // the squatter, then the request
    }
    SUBCASE("but not once the wait fails")
    {
        TestPipeServer server(name, 200);
        HANDLE squatter = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(squatter != INVALID_HANDLE_VALUE);
        PROCESS_INFORMATION info = Canary();
        CHECK_FALSE(Launch(&info));
        CloseHandle(squatter);
        CHECK(server.connections == 1);
    }
}

TEST_CASE_FIXTURE(SessionPipeFixture, "without a usable pipe name no pipe is touched")
{
    const std::wstring name = UniquePipeName();
    TestPipeServer server(name, 5000);
    struct Row {
        const char* name;
        const wchar_t* library;
        const wchar_t* pipeName;  // null: the session has no pipe name
    };
    const Row rows[] = {
        {"the library lacks WinStationQueryInformationW", L"winsta_noexport.dll", name.c_str()},
        {"the query fails", L"winsta_standin.dll", nullptr},
        {"the name is empty", L"winsta_standin.dll", L""},
    };
    for (const auto& row : rows) {
        INFO(row.name);
        ReplacedSystemWinsta winsta(row.library);
        standin::SetSession(kSession, PipeOnly(row.pipeName ? row.pipeName : L""));
        if (row.pipeName == nullptr) standin::ClearSessions();
        PROCESS_INFORMATION info = Canary();
        CHECK_FALSE(Launch(&info));
        CHECK(server.connections == 0);
    }
}
}
