#include <doctest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "dispatch/session_pipe.h"
#include "dispatch/session_pipe_request.h"
#include "import_patch.h"
#include "session_pipe_server.h"
#include "standins.h"
#include "test_files.h"
#include "unique_handle.h"

using standin::ReplacedSystemWinsta;
using standin::TestPipeServer;
using standin::UniquePipeName;

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

TEST_CASE("every STARTUPINFOW member lands at its own offset of the 32-bit layout")
{
    // Distinct nonzero values everywhere, so that two members swapped or one shifted by a field
    // cannot go unnoticed. Pointer and handle members travel as their 32-bit values.
    wchar_t desktop[] = L"WinSta0\\Default";
    wchar_t title[] = L"T";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.lpReserved = reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(0x0A0A0A01));
    startup.lpDesktop = desktop;
    startup.lpTitle = title;
    startup.dwX = 0x0B0B0B02;
    startup.dwY = 0x0C0C0C03;
    startup.dwXSize = 0x0D0D0D04;
    startup.dwYSize = 0x0E0E0E05;
    startup.dwXCountChars = 0x0F0F0F06;
    startup.dwYCountChars = 0x10101007;
    startup.dwFillAttribute = 0x11111108;
    startup.dwFlags = 0x12121209;
    startup.wShowWindow = 0x130A;
    startup.cbReserved2 = 0x140B;
    startup.lpReserved2 = reinterpret_cast<LPBYTE>(static_cast<ULONG_PTR>(0x1515150C));
    startup.hStdInput = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1616160D));
    startup.hStdOutput = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0x1717170E));
    startup.hStdError = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(0xFFFFFFF8));
    PipeLaunchRequest request;
    request.applicationName = L"a";
    request.commandLine = L"b";
    request.inheritHandles = TRUE;
    request.creationFlags = 0x1D1D1D1D;
    request.startupInfo = &startup;
    PipeRequestBlock block;
    REQUIRE(BuildPipeLaunchRequest(request, &block));
    const BYTE* bytes = block.Data();

    // strings: "a" at 148, "b" at 152, the desktop at 156 (15 units and NUL), the title at 188
    struct Field {
        DWORD offset;
        DWORD value;
    };
    const Field fields[] = {
        {48, 1},           {52, 0x1D1D1D1D}, {64, 68},          {68, 0x0A0A0A01},  {72, 156},
        {76, 188},         {80, 0x0B0B0B02}, {84, 0x0C0C0C03},  {88, 0x0D0D0D04},  {92, 0x0E0E0E05},
        {96, 0x0F0F0F06},  {100, 0x10101007}, {104, 0x11111108}, {108, 0x12121209}, {112, 0x140B130A},
        {116, 0x1515150C}, {120, 0x1616160D}, {124, 0x1717170E}, {128, 0xFFFFFFF8},
    };
    for (const auto& field : fields) {
        CAPTURE(field.offset);
        CHECK(Get32(bytes, field.offset) == field.value);
    }
    for (const DWORD zero : {12u, 24u, 28u, 32u, 36u, 40u, 44u, 56u, 60u, 132u, 136u, 140u, 144u}) {
        CAPTURE(zero);
        CHECK(Get32(bytes, zero) == 0);
    }
    CHECK(Get32(bytes, 8) == 1);
    CHECK(std::memcmp(bytes + 156, L"WinSta0\\Default", 32) == 0);
    CHECK(block.Used() == 192);
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
        INFO(std::string(row.name));
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
    const BYTE bytes[kPipeResponseSize] = {9, 9, 9, 9, 1, 0, 0, 0, 5, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF,
                                           0xFC, 0xFF, 0xFF, 0xFF, 0x10, 0x27, 0, 0, 0x20, 0x4E, 0, 0};
    const PipeLaunchResponse response = ParsePipeLaunchResponse(bytes);
    CHECK(response.created == 1);
    CHECK(response.error == 5);
    CHECK(response.process == 0xFFFFFFFE);
    CHECK(response.thread == 0xFFFFFFFC);
    CHECK(response.processId == 10000);
    CHECK(response.threadId == 20000);
}
}

namespace {

constexpr DWORD kSession = 7;

standin::Session PipeOnly(const std::wstring& pipeName)
{
    standin::Session session;
    session.pipeName = pipeName;
    return session;
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
    struct Row {
        const char* name;
        DWORD process;
        DWORD thread;
        HANDLE expectedProcess;  // 32-bit handle values widen the way 32-bit handles map into a 64-bit process
        HANDLE expectedThread;
    };
    const Row rows[] = {
        {"small handle values", 0x1234, 0x5678, reinterpret_cast<HANDLE>(0x1234), reinterpret_cast<HANDLE>(0x5678)},
        {"values with the top bit set", 0xFFFFFFFE, 0x80000004, reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2)),
         reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(static_cast<LONG>(0x80000004)))},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        BYTE answer[kPipeResponseSize] = {};
        standin::PutU32(answer, 4, 1);
        standin::PutU32(answer, 12, row.process);
        standin::PutU32(answer, 16, row.thread);
        standin::PutU32(answer, 20, 10000);
        standin::PutU32(answer, 24, 20000);
        std::memcpy(server.answer, answer, sizeof answer);

        PROCESS_INFORMATION info = Canary();
        REQUIRE(Launch(&info));
        CHECK(info.hProcess == row.expectedProcess);
        CHECK(info.hThread == row.expectedThread);
        CHECK(info.dwProcessId == 10000);
        CHECK(info.dwThreadId == 20000);
        REQUIRE(server.lastRequest.size() == 234);  // 148 + 22 + 28 + 34 + 2
        CHECK(Get32(server.lastRequest.data(), 4) == GetCurrentProcessId());
        CHECK(Get32(server.lastRequest.data(), 52) == HIGH_PRIORITY_CLASS);
    }
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
        // The only instance is taken before the request starts and given back only once the
        // request waits for it (seen through the program's import of WaitNamedPipeW), so the
        // request always finds the pipe busy, waits, and tries again.
        static HANDLE clientWaits = nullptr;
        static std::atomic<int> waits{0};
        static ImportPatch* patch = nullptr;
        struct Hook {
            static BOOL WINAPI Wait(LPCWSTR pipeName, DWORD timeoutMs)
            {
                ++waits;
                SetEvent(clientWaits);
                return patch->Original<decltype(&WaitNamedPipeW)>()(pipeName, timeoutMs);
            }
        };
        UniqueKernelHandle waiting(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        clientWaits = waiting.Get();
        waits = 0;
        ImportPatch hook("kernel32.dll", "WaitNamedPipeW", reinterpret_cast<const void*>(&Hook::Wait));
        patch = &hook;

        TestPipeServer server(name, 10000);
        server.answer[4] = 1;
        HANDLE squatter = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        REQUIRE(squatter != INVALID_HANDLE_VALUE);
        std::atomic<bool> sawWait{false};
        std::thread release([squatter, &sawWait] {
            sawWait = WaitForSingleObject(clientWaits, 30000) == WAIT_OBJECT_0;
            CloseHandle(squatter);
        });
        PROCESS_INFORMATION info = Canary();
        CHECK(Launch(&info));
        release.join();
        CHECK(sawWait);
        CHECK(waits == 1);
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
        INFO(std::string(row.name));
        ReplacedSystemWinsta winsta(row.library);
        standin::SetSession(kSession, PipeOnly(row.pipeName ? row.pipeName : L""));
        if (row.pipeName == nullptr) standin::ClearSessions();
        PROCESS_INFORMATION info = Canary();
        CHECK_FALSE(Launch(&info));
        CHECK(server.connections == 0);
    }
}
}
