// acpidev: makes the firmware's ACPI hotkey devices appear on a wine machine.
//   acpidev add <hardware-id> [<compatible-id>]   create a present device carrying the ID(s)
//   acpidev clear                                 remove every device this tool created
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "fake_device.h"

namespace {
std::wstring MultiString(const wchar_t* id)
{
    std::wstring list(id);
    list.push_back(L'\0');
    return list;
}
}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc >= 3 && std::wcscmp(argv[1], L"add") == 0) {
        const std::wstring hardware = MultiString(argv[2]);
        const std::wstring compatible = argc >= 4 ? MultiString(argv[3]) : std::wstring();
        std::wstring instance;
        if (!CreateFakeDevice(hardware.c_str(), argc >= 4 ? compatible.c_str() : nullptr, &instance)) {
            std::fwprintf(stderr, L"acpidev: could not create a device for %ls (error %lu)\n", argv[2], GetLastError());
            return 1;
        }
        std::wprintf(L"device %ls present with hardware ID %ls\n", instance.c_str(), argv[2]);
        return 0;
    }
    if (argc == 2 && std::wcscmp(argv[1], L"clear") == 0) {
        RemoveAllFakeDevices();
        return 0;
    }
    std::fwprintf(stderr, L"usage: acpidev add <hardware-id> [<compatible-id>] | acpidev clear\n");
    return 2;
}
