// An owner for a window this thread created (a UniqueHandle policy, see common/unique_handle.h):
// the window is destroyed when the owner goes, unless something destroyed it before.
#pragma once

#include <windows.h>

#include "unique_handle.h"

struct WindowTraits {
    using Type = HWND;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept
    {
        // An owned popup goes with its owner: the handle may already be stale.
        if (IsWindow(h)) DestroyWindow(h);
    }
};

using UniqueWindow = UniqueHandle<WindowTraits>;
