// The product library loaded beside the service (and by the client) for the whole run.
#pragma once

#include <windows.h>

inline constexpr const wchar_t* kLpuModuleName = L"MOLTEX32.DLL";

// Loads `fileName` from the directory of the running executable and calls its export
// "EnableLPU" (no arguments, a 32-bit result, nonzero = success). Returns the module, which the
// caller keeps loaded and frees at its end, or null when the path does not fit in 260 units, the
// library does not load, the export is missing or EnableLPU returns 0 (the library is then freed
// at once).
HMODULE LoadLpuModule(const wchar_t* fileName);
