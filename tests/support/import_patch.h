// Replacing one imported function of the test program for a while: the address the program's
// import table holds for `dll`!`function` is swapped for `replacement`, so every call the
// program's own code (the code under test, linked into it) makes to that function goes to the
// replacement; calls from inside system libraries are not affected.
//
// Tests use it only where a platform behaviour cannot be produced under wine (say which, where
// it is used) or to observe a call that leaves no other trace.
#pragma once

#include <windows.h>

class ImportPatch {
public:
    // Throws when the program does not import the function.
    ImportPatch(const char* dll, const char* function, const void* replacement);
    ~ImportPatch();
    ImportPatch(const ImportPatch&) = delete;
    ImportPatch& operator=(const ImportPatch&) = delete;

    // The address the table held before: the real function.
    template <typename Fn>
    Fn Original() const
    {
        return reinterpret_cast<Fn>(original_);
    }

private:
    void** slot_ = nullptr;
    void* original_ = nullptr;
};
