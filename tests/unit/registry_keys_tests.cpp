#include <doctest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hotkey_registry.h"
#include "registry/registry_keys.h"
#include "unique_handle.h"

using namespace testreg;

namespace {
const HKEY kCanaryKey = reinterpret_cast<HKEY>(static_cast<uintptr_t>(0xDEADBEEF));

const wchar_t* RootOf(KeyFamily family)
{
    return family == KeyFamily::PowerManager ? kPowerManagerRoot : kSystemEventRoot;
}
}  // namespace

TEST_SUITE("registry") {
TEST_CASE("every open and create adds KEY_WOW64_64KEY exactly when the 64-bit view is asked for")
{
    // The flag's effect cannot be observed from a 64-bit process, so the mask itself is checked.
    struct Row {
        REGSAM access;
        BOOL view64;
        REGSAM expected;
    };
    const Row rows[] = {
        {KEY_READ, FALSE, 0x20019},
        {KEY_READ, TRUE, 0x20119},
        {KEY_ALL_ACCESS, FALSE, 0xF003F},
        {KEY_ALL_ACCESS, TRUE, 0xF013F},
    };
    for (const auto& row : rows) CHECK(RegistryAccess(row.access, row.view64) == row.expected);
}

TEST_CASE("OpenParametersKey opens the family's root or a subkey below it")
{
    CleanHotkeyRegistry clean;
    for (const KeyFamily family : {KeyFamily::PowerManager, KeyFamily::SystemEvent}) {
        for (const BOOL wow64 : {FALSE, TRUE}) {
            CAPTURE(static_cast<int>(family));
            CAPTURE(wow64);
            const long heldBefore = HeldHandleCount();
            {
                HKEY key = kCanaryKey;
                SetLastError(0xdeadbeef);
                CHECK(OpenParametersKey(nullptr, KEY_READ, &key, wow64, family) == ERROR_FILE_NOT_FOUND);
                CHECK(key == kCanaryKey);  // the root failed: the out key is not written
                CHECK_FALSE(ParametersRootExists(wow64, family));
            }

            SetDword(RootOf(family), L"OnRoot", 11);
            SetDword((std::wstring(RootOf(family)) + L"\\Capability").c_str(), nullptr, 22);
            CHECK(ParametersRootExists(wow64, family));
            {
                UniqueHkey root;
                REQUIRE(OpenParametersKey(nullptr, KEY_READ, root.Put(), wow64, family) == ERROR_SUCCESS);
                DWORD value = 0;
                CHECK(ReadDwordValue(root.Get(), L"OnRoot", &value) == ERROR_SUCCESS);
                CHECK(value == 11);

                UniqueHkey capability;
                REQUIRE(OpenParametersKey(L"Capability", KEY_ALL_ACCESS, capability.Put(), wow64, family) == ERROR_SUCCESS);
                CHECK(ReadDwordValue(capability.Get(), nullptr, &value) == ERROR_SUCCESS);
                CHECK(value == 22);
                CHECK(WriteDwordValue(capability.Get(), nullptr, 23) == ERROR_SUCCESS);
            }
            CHECK(GetDword((std::wstring(RootOf(family)) + L"\\Capability").c_str(), nullptr) == 23u);
            {
                UniqueHkey missing;
                CHECK(OpenParametersKey(L"NoSuchKey", KEY_READ, missing.Put(), wow64, family) == ERROR_FILE_NOT_FOUND);
                CHECK_FALSE(missing);
            }
            CHECK(HeldHandleCount() == heldBefore);  // the root opened on the way is closed again
            CleanHotkeyRegistry::Wipe();
        }
    }
}

TEST_CASE("ReadDwordValue reads up to 4 bytes of any type and keeps the default otherwise")
{
    CleanHotkeyRegistry clean;
    const wchar_t* path = kSystemEventRoot;
    const BYTE twoBytes[] = {0xAA, 0xBB};
    const wchar_t digit[] = L"7";  // REG_SZ "7": 4 bytes, 0x37 0x00 0x00 0x00
    const BYTE eightBytes[] = {1, 2, 3, 4, 5, 6, 7, 8};
    SetDword(path, L"Dword", 0x12345678);
    SetQword(path, L"Qword", 0x1122334455667788ull);
    SetRaw(path, L"Short", REG_BINARY, twoBytes, sizeof twoBytes);
    SetRaw(path, L"String", REG_SZ, digit, sizeof digit);
    SetRaw(path, L"Empty", REG_BINARY, nullptr, 0);
    SetRaw(path, L"LongBinary", REG_BINARY, eightBytes, sizeof eightBytes);

    struct Row {
        const wchar_t* name;
        LONG error;
        DWORD expected;  // starting from 0x11223344
    };
    const Row rows[] = {
        {L"Dword", ERROR_SUCCESS, 0x12345678},
        {L"Qword", ERROR_MORE_DATA, 0x11223344},
        {L"LongBinary", ERROR_MORE_DATA, 0x11223344},
        {L"Short", ERROR_SUCCESS, 0x1122BBAA},  // only the delivered bytes are replaced
        {L"String", ERROR_SUCCESS, 0x37},        // the type is not examined
        {L"Empty", ERROR_SUCCESS, 0x11223344},
        {L"Missing", ERROR_FILE_NOT_FOUND, 0x11223344},
    };
    UniqueHkey key;
    REQUIRE(OpenRegistryKey(HKEY_LOCAL_MACHINE, path, KEY_READ, key.Put(), FALSE) == ERROR_SUCCESS);
    for (const auto& row : rows) {
        INFO(std::string(row.name, row.name + wcslen(row.name)));
        DWORD value = 0x11223344;
        CHECK(ReadDwordValue(key.Get(), row.name, &value) == row.error);
        CHECK(value == row.expected);
    }
}
TEST_CASE("ReadStringValue keeps the text inside the caller's buffer, terminated, or fails and writes nothing")
{
    CleanHotkeyRegistry clean;
    const wchar_t* path = kSystemEventRoot;
    // Stored without a terminator unless said otherwise; an odd byte count ends in half a unit.
    struct Row {
        const char* name;
        size_t units;       // text units stored
        bool terminated;    // a NUL stored after them
        DWORD extraBytes;   // a trailing odd byte
        DWORD bufferUnits;  // the caller's buffer
        LONG error;
    };
    const Row rows[] = {
        {"259 units and NUL in 260", 259, true, 0, 260, ERROR_SUCCESS},
        {"259 units without NUL in 260", 259, false, 0, 260, ERROR_SUCCESS},
        {"260 units without NUL in 260: no room for the terminator", 260, false, 0, 260, ERROR_MORE_DATA},
        {"260 units and NUL in 260", 260, true, 0, 260, ERROR_MORE_DATA},
        {"64 KiB in 260", 32767, true, 0, 260, ERROR_MORE_DATA},
        {"9 units without NUL in 10", 9, false, 0, 10, ERROR_SUCCESS},
        {"10 units without NUL in 10", 10, false, 0, 10, ERROR_MORE_DATA},
        {"empty, no bytes at all", 0, false, 0, 10, ERROR_SUCCESS},
        {"3 units and an odd byte in 10", 3, false, 1, 10, ERROR_SUCCESS},
    };
    constexpr wchar_t kCanary = 0xCAFE;
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        std::wstring stored(row.units, L'x');
        std::vector<BYTE> bytes(reinterpret_cast<const BYTE*>(stored.data()),
                                reinterpret_cast<const BYTE*>(stored.data() + stored.size()));
        if (row.terminated) bytes.insert(bytes.end(), {0, 0});
        for (DWORD i = 0; i < row.extraBytes; ++i) bytes.push_back('y');
        SetRaw(path, L"Text", REG_SZ, bytes.data(), static_cast<DWORD>(bytes.size()));

        UniqueHkey key;
        REQUIRE(OpenRegistryKey(HKEY_LOCAL_MACHINE, path, KEY_READ, key.Put(), FALSE) == ERROR_SUCCESS);
        std::vector<wchar_t> buffer(row.bufferUnits + 8, kCanary);  // canaries behind the caller's buffer
        CHECK(ReadStringValue(key.Get(), L"Text", buffer.data(), row.bufferUnits) == row.error);
        for (size_t i = row.bufferUnits; i < buffer.size(); ++i) REQUIRE(buffer[i] == kCanary);
        if (row.error == ERROR_SUCCESS) {
            CHECK(std::wstring(buffer.data()) == stored);
        } else {
            for (DWORD i = 0; i < row.bufferUnits; ++i) REQUIRE(buffer[i] == kCanary);  // untouched
        }
    }
}
}
