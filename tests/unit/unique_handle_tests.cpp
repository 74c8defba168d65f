#include <doctest.h>

#include "unique_handle.h"

TEST_SUITE("common") {
TEST_CASE("handle owners close on every path, count what they hold and keep the last error")
{
    const long before = HeldHandleCount();
    {
        UniqueKernelHandle event(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        REQUIRE(event);
        CHECK(HeldHandleCount() == before + 1);

        UniqueKernelHandle moved(std::move(event));
        CHECK_FALSE(event);
        CHECK(HeldHandleCount() == before + 1);

        SetLastError(1234);
        moved.Reset();
        CHECK(GetLastError() == 1234u);
        CHECK(HeldHandleCount() == before);
    }
    {
        UniqueHkey key;
        REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software", 0, KEY_READ, key.Put()) == ERROR_SUCCESS);
        CHECK(HeldHandleCount() == before + 1);
        // Put() closes the previous key before handing out the address again.
        REQUIRE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System", 0, KEY_READ, key.Put()) == ERROR_SUCCESS);
        CHECK(HeldHandleCount() == before + 1);
        CHECK(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"NoSuchKey\\Here", 0, KEY_READ, key.Put()) == ERROR_FILE_NOT_FOUND);
        CHECK_FALSE(key);
        CHECK(HeldHandleCount() == before);
    }
    {
        UniqueFile file(CreateFileW(L"NUL", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr));
        REQUIRE(file);
        HANDLE raw = file.Release();
        CHECK(HeldHandleCount() == before);
        CloseHandle(raw);
    }
    CHECK(HeldHandleCount() == before);
}
}
