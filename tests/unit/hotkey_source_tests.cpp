#include <doctest.h>

#include "hotkey_source_fixture.h"
#include "registry/registry_keys.h"
#include "registry/registry_paths.h"
#include "unique_handle.h"

TEST_SUITE("hotkey_source") {
TEST_CASE("a press inverts exactly its bit of the class's press signal, seen through a change notification")
{
    struct Row {
        KeyFamily family;
        HotkeyClass hotkeyClass;
        DWORD number;
    };
    const Row rows[] = {
        {KeyFamily::SystemEvent, HotkeyClass::Class01, 1},  {KeyFamily::SystemEvent, HotkeyClass::Class01, 32},
        {KeyFamily::SystemEvent, HotkeyClass::Class02, 5},  {KeyFamily::PowerManager, HotkeyClass::Class01, 12},
        {KeyFamily::PowerManager, HotkeyClass::Class02, 32},
    };
    for (const auto& row : rows) {
        CAPTURE(static_cast<int>(row.family));
        CAPTURE(static_cast<int>(row.hotkeyClass));
        CAPTURE(row.number);
        TestHotkeySource source(row.family, HotkeySourceSeed{});
        const HotkeyClass other = row.hotkeyClass == HotkeyClass::Class01 ? HotkeyClass::Class02 : HotkeyClass::Class01;
        for (int press = 1; press <= 2; ++press) {
            CAPTURE(press);
            // Armed the way the service's watcher arms it: its own open of the "Notification" key.
            UniqueHkey notification;
            REQUIRE(OpenParametersKey(kNotificationKey, KEY_READ, notification.Put(), FALSE, row.family) == ERROR_SUCCESS);
            UniqueKernelHandle changed(CreateEventW(nullptr, FALSE, FALSE, nullptr));
            REQUIRE(RegNotifyChangeKeyValue(notification.Get(), FALSE, REG_NOTIFY_CHANGE_LAST_SET, changed.Get(), TRUE) ==
                    ERROR_SUCCESS);
            const DWORD before = source.Signal(row.hotkeyClass);
            source.Press(row.hotkeyClass, row.number);
            REQUIRE(WaitForSingleObject(changed.Get(), 10000) == WAIT_OBJECT_0);
            CHECK((source.Signal(row.hotkeyClass) ^ before) == (1u << (row.number - 1)));
            CHECK(source.Signal(other) == 0);
        }
        CHECK(source.Signal(row.hotkeyClass) == 0);  // pressed twice: back where it was
    }
}

TEST_CASE("numbers outside 1..32 are refused and change nothing")
{
    TestHotkeySource source(KeyFamily::SystemEvent, HotkeySourceSeed{});
    source.Press(HotkeyClass::Class01, 3);
    for (const DWORD number : {0u, 33u, 0xFFFFFFFFu}) {
        CAPTURE(number);
        CHECK_FALSE(PressHotkey(KeyFamily::SystemEvent, HotkeyClass::Class01, number));
        CHECK(source.Signal(HotkeyClass::Class01) == 0x4);
    }
}
}
