// Stand-in for the firmware's ACPI devices: a root-enumerated device node that carries chosen
// hardware and compatible IDs and counts as present, so that device detection can be exercised
// against the platform's real enumeration.
#pragma once

#include <windows.h>

#include <string>

// Creates a present device with the given IDs (multi-strings, each list ended by an empty string;
// `compatibleIds` may be null). On success `instanceId` receives the new device's instance ID,
// which RemoveFakeDevice takes.
bool CreateFakeDevice(const wchar_t* hardwareIds, const wchar_t* compatibleIds, std::wstring* instanceId);

// Removes a device made by CreateFakeDevice.
bool RemoveFakeDevice(const std::wstring& instanceId);

// Removes every device this helper ever created (they share one enumerator name).
void RemoveAllFakeDevices();

// Creates a device from raw property bytes, so that data without terminators can be stored.
bool CreateFakeDeviceRaw(const BYTE* hardwareIdBytes, DWORD hardwareIdSize, std::wstring* instanceId);
