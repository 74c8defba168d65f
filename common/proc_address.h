// Typed lookup of an export that may be missing on older Windows versions.
#pragma once

#include <windows.h>

// Returns the export `name` of `module` as a pointer of type Fn, or null when the module is null
// or does not export it. The detour through void(*)() is the one function-pointer conversion the
// compilers accept without a cast-function-type warning.
template <typename Fn>
Fn GetProcAs(HMODULE module, const char* name)
{
    if (module == nullptr) return nullptr;
    return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}
