// Wow64 queries, looked up at run time so that the program still loads on Windows versions
// whose kernel32 lacks them.
#pragma once

#include <windows.h>

// 1 when this (32-bit) process runs on 64-bit Windows; 0 otherwise or when kernel32 does not
// export IsWow64Process.
BOOL IsWow64();

// Switches file-system redirection off for the calling thread and saves the previous state in
// *previous. Returns 0, leaving *previous untouched, when the export is missing or the call
// fails; the caller then must not revert.
BOOL DisableFsRedirection(PVOID* previous);

// Restores the state saved by DisableFsRedirection.
BOOL RevertFsRedirection(PVOID previous);
