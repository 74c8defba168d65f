#include <doctest.h>

#include <optional>
#include <string>

#include "host/service_state.h"
#include "host/startup_state.h"
#include "test_files.h"
#include "unique_handle.h"

namespace {

// The attributes of privilege `name` in `token`, or nothing when the token does not hold it.
std::optional<DWORD> PrivilegeAttributes(HANDLE token, const wchar_t* name)
{
    LUID luid{};
    REQUIRE(LookupPrivilegeValueW(nullptr, name, &luid));
    DWORD size = 0;
    GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::string buffer(size, '\0');
    REQUIRE(GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size));
    const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
    for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& held = privileges->Privileges[i].Luid;
        if (held.LowPart == luid.LowPart && held.HighPart == luid.HighPart) return privileges->Privileges[i].Attributes;
    }
    return std::nullopt;
}

}  // namespace

TEST_SUITE("startup") {
TEST_CASE("Windows XP is 5.1 exactly; Windows 7 or later is 6.1 and every later version")
{
    struct Row {
        DWORD major;
        DWORD minor;
        BOOL xp;
        BOOL windows7;
    };
    const Row rows[] = {
        {0, 0, FALSE, FALSE},  // GetVersionExW failed
        {5, 0, FALSE, FALSE}, {5, 1, TRUE, FALSE},  {5, 2, FALSE, FALSE}, {6, 0, FALSE, FALSE},
        {6, 1, FALSE, TRUE},  {6, 3, FALSE, TRUE},  {7, 0, FALSE, TRUE},  {10, 0, FALSE, TRUE},
    };
    for (const auto& row : rows) {
        CAPTURE(row.major);
        CAPTURE(row.minor);
        const WindowsVersionFlags flags = ClassifyWindowsVersion(row.major, row.minor);
        CHECK(flags.isWindowsXp == row.xp);
        CHECK(flags.isWindows7OrLater == row.windows7);
    }
}

TEST_CASE("the platform as a 64-bit program sees it: no Wow64, Windows 7, no hotkey device")
{
    ServiceState state;
    state.isWow64 = TRUE;
    state.keyFamily = KeyFamily::PowerManager;
    state.isWindowsXp = TRUE;
    DetectPlatform(&state);
    CHECK(state.isWow64 == FALSE);
    CHECK(state.keyFamily == KeyFamily::SystemEvent);
    CHECK(state.isWindowsXp == FALSE);
    CHECK(state.isWindows7OrLater == TRUE);  // wine reports 6.1 by default
}

TEST_CASE("the program directory is the short form of the program's folder, without a trailing backslash")
{
    wchar_t dir[MAX_PATH];
    REQUIRE(FindProgramDirectory(dir));
    wchar_t expected[MAX_PATH];
    REQUIRE(GetShortPathNameW(testfiles::BinDir().c_str(), expected, MAX_PATH) != 0);
    CHECK(std::wstring(dir) == expected);
    CHECK(std::wstring(dir).back() != L'\\');
}

TEST_CASE("the primary token carries SeTcbPrivilege enabled, and SeTakeOwnershipPrivilege is enabled only after the copy")
{
    const long heldBefore = HeldHandleCount();
    {
        UniqueKernelHandle primary;
        REQUIRE(CreatePrimaryToken(&primary));
        CHECK(HeldHandleCount() == heldBefore + 1);  // the copy; the process token was closed
        TOKEN_TYPE type{};
        DWORD size = 0;
        REQUIRE(GetTokenInformation(primary.Get(), TokenType, &type, sizeof type, &size));
        CHECK(type == TokenPrimary);
        const auto tcb = PrivilegeAttributes(primary.Get(), SE_TCB_NAME);
        REQUIRE(tcb.has_value());
        CHECK((*tcb & SE_PRIVILEGE_ENABLED) != 0);
        const auto ownership = PrivilegeAttributes(primary.Get(), SE_TAKE_OWNERSHIP_NAME);
        if (ownership) CHECK((*ownership & SE_PRIVILEGE_ENABLED) == 0);

        UniqueKernelHandle process;
        REQUIRE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, process.Put()));
        const auto processOwnership = PrivilegeAttributes(process.Get(), SE_TAKE_OWNERSHIP_NAME);
        REQUIRE(processOwnership.has_value());
        CHECK((*processOwnership & SE_PRIVILEGE_ENABLED) != 0);
    }
    CHECK(HeldHandleCount() == heldBefore);
}
}
