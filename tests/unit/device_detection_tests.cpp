#include <doctest.h>

#include <string>
#include <vector>

#include "fake_device.h"
#include "registry/device_detection.h"
#include "registry/driver_probe.h"
#include "registry/wow64.h"

namespace {

// A property buffer of `text` (embedded NULs allowed) followed by the guard unit the walk needs.
std::vector<wchar_t> Property(const std::wstring& text)
{
    std::vector<wchar_t> data(text.begin(), text.end());
    data.push_back(L'\0');
    return data;
}

// Removes every fake device when created and when destroyed.
struct NoFakeDevices {
    NoFakeDevices() { RemoveAllFakeDevices(); }
    ~NoFakeDevices() { RemoveAllFakeDevices(); }
};

}  // namespace

TEST_SUITE("detection") {
TEST_CASE("a device property is walked string by string within the size it reported")
{
    using namespace std::string_literals;
    struct Row {
        const char* name;
        std::wstring text;  // the property's bytes, as units
        size_t units;       // the size the platform reported
        const wchar_t* ids;
        bool match;
    };
    const Row rows[] = {
        {"single ID", L"ACPI\\NRV0068\0\0"s, 14, kNrv0068Ids, true},
        {"second string matches", L"ACPI\\XYZ\0ACPI\\NRV0068\0\0"s, 23, kNrv0068Ids, true},
        {"lower case", L"acpi\\nrv0068\0\0"s, 14, kNrv0068Ids, true},
        {"longer ID with a suffix", L"ACPI\\NRV00681\0\0"s, 15, kNrv0068Ids, false},
        {"shorter ID", L"ACPI\\NRV006\0\0"s, 13, kNrv0068Ids, false},
        {"other device", L"ACPI\\NRV0168\0\0"s, 14, kNrv0068Ids, false},
        {"second entry of the ID list", L"ACPI\\KVX0068\0\0"s, 14, L"ACPI\\NRV0068\0ACPI\\KVX0068\0", true},
        {"strings after the first empty one are not looked at", L"ACPI\\X\0\0ACPI\\NRV0068\0\0"s, 22, kNrv0068Ids,
         false},
        {"unterminated data: the last string ends at the reported size", L"ACPI\\NRV0068"s, 12, kNrv0068Ids, true},
        {"reported size cuts the string short", L"ACPI\\NRV0068\0\0"s, 8, kNrv0068Ids, false},
        {"empty property", L""s, 0, kNrv0068Ids, false},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        auto data = Property(row.text);
        data.resize(row.units + 1, L'\0');
        data[row.units] = L'\0';
        CHECK(PropertyListsAnyId(data.data(), row.units, row.ids) == row.match);
    }
}

TEST_CASE("the KVX device is searched only when no NRV device exists")
{
    struct Row {
        std::vector<std::wstring> present;
        std::vector<std::wstring> expectedSearches;
        KeyFamily family;
    };
    const Row rows[] = {
        {{L"ACPI\\NRV0068"}, {L"ACPI\\NRV0068"}, KeyFamily::PowerManager},
        {{L"ACPI\\NRV0168", L"ACPI\\KVX0068"}, {L"ACPI\\NRV0068", L"ACPI\\NRV0168"}, KeyFamily::PowerManager},
        {{L"ACPI\\KVX0068"}, {L"ACPI\\NRV0068", L"ACPI\\NRV0168", L"ACPI\\KVX0068"}, KeyFamily::PowerManager},
        {{}, {L"ACPI\\NRV0068", L"ACPI\\NRV0168", L"ACPI\\KVX0068"}, KeyFamily::SystemEvent},
    };
    for (const auto& row : rows) {
        std::vector<std::wstring> searches;
        const KeyFamily family = DecideKeyFamily([&](const wchar_t* ids) {
            searches.emplace_back(ids);
            for (const auto& id : row.present) {
                if (id == ids) return true;
            }
            return false;
        });
        CHECK(family == row.family);
        CHECK(searches == row.expectedSearches);
    }
}

TEST_CASE("DetectKeyFamily finds present devices through the platform's device enumeration")
{
    struct FakeId {
        const wchar_t* hardwareIds;
        const wchar_t* compatibleIds;
    };
    struct Row {
        const char* name;
        std::vector<FakeId> devices;
        KeyFamily family;
    };
    const Row rows[] = {
        {"NRV0068", {{L"ACPI\\NRV0068\0", nullptr}}, KeyFamily::PowerManager},
        {"NRV0168 with KVX0068", {{L"ACPI\\NRV0168\0", nullptr}, {L"ACPI\\KVX0068\0", nullptr}}, KeyFamily::PowerManager},
        {"KVX0068 alone", {{L"ACPI\\KVX0068\0", nullptr}}, KeyFamily::PowerManager},
        {"listed in lower case", {{L"acpi\\nrv0068\0", nullptr}}, KeyFamily::PowerManager},
        {"only among the compatible IDs", {{L"ROOT\\SOMETHING\0", L"*PNP0C02\0ACPI\\KVX0068\0"}}, KeyFamily::PowerManager},
        {"ID with a suffix", {{L"ACPI\\NRV0068_1\0", L"ACPI\\KVX00680\0"}}, KeyFamily::SystemEvent},
        {"none", {}, KeyFamily::SystemEvent},
    };
    for (const auto& row : rows) {
        INFO(std::string(row.name));
        NoFakeDevices clean;
        for (const auto& device : row.devices) REQUIRE(CreateFakeDevice(device.hardwareIds, device.compatibleIds, nullptr));
        CHECK(DetectKeyFamily() == row.family);
    }
}

TEST_CASE("a hardware ID stored without its terminators still matches, and nothing past it is read")
{
    NoFakeDevices clean;
    const std::wstring id = L"ACPI\\NRV0168";
    REQUIRE(CreateFakeDeviceRaw(reinterpret_cast<const BYTE*>(id.data()), static_cast<DWORD>(id.size() * sizeof(wchar_t)),
                                nullptr));
    CHECK(FindDeviceByHardwareId(kNrv0168Ids));
    CHECK_FALSE(FindDeviceByHardwareId(kNrv0068Ids));
}

TEST_CASE("ProbeDriver answers 0 without the driver's device")
{
    CHECK(ProbeDriver() == 0);
}

TEST_CASE("Wow64 helpers in a 64-bit process")
{
    // A 64-bit process is never a Wow64 process, and redirection cannot be switched off in it.
    CHECK(IsWow64() == FALSE);
    PVOID previous = nullptr;
    CHECK(DisableFsRedirection(&previous) == FALSE);
}
}
