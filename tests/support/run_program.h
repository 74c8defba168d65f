// Running a program to its end the way a user or a script would, to read its exit code in full
// (a Linux shell would show -1 as 255).
#pragma once

#include <windows.h>

#include <string>

#include "unique_handle.h"

namespace testproc {

// Starts `program` (its path; quoted on the command line) with `arguments`; its process, or an
// empty owner with the reason in GetLastError().
UniqueKernelHandle StartProgram(const std::wstring& program, const std::wstring& arguments);

// Starts `program` (its path; quoted on the command line) with `arguments` and waits for it to
// end; its exit code. Throws when it cannot start or has not ended within `timeoutMs` (it is then
// ended), so that a test fails with the reason.
DWORD ExitCodeOf(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs = 120000);

}  // namespace testproc
