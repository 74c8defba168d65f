// The shared-memory section through which the command-line client hands a hotkey index to the
// running service: 4 bytes, the zero-based index as a little-endian 32-bit word at offset 0,
// written by the client just before it sends control 128 or 129. No lock, no acknowledgement.
#pragma once

#include <windows.h>

#include "unique_handle.h"

inline constexpr const wchar_t* kHotkeyNumberSectionName = L"Global\\FNKEYD:HotkeyNumber";
inline constexpr DWORD kHotkeyNumberSectionSize = 4;

// Creates the section, backed by the paging file, PAGE_READWRITE, 4 bytes, default security (an
// existing one of that name is opened and counts as success). False with the platform's error in
// *error.
bool CreateHotkeyNumberSection(UniqueKernelHandle* section, DWORD* error);

// Replaces the DACL of the named kernel object by one entry granting Everyone GENERIC_READ |
// GENERIC_WRITE. False, with the failing step's error as the thread's last error, when the SID,
// the ACL or the security update fails; the SID and the ACL are freed on every path.
BOOL SecureHotkeyNumberSection(const wchar_t* objectName);

// The service's read of the index: maps the whole section with FILE_MAP_ALL_ACCESS, reads the
// first word, unmaps. False when the section is null or cannot be mapped.
bool ReadHotkeyIndex(HANDLE section, DWORD* index);

// The client's write into the section it opened with FILE_MAP_WRITE: maps it, stores `index`,
// unmaps. False when the section is null or cannot be mapped.
bool WriteHotkeyIndex(HANDLE section, DWORD index);
