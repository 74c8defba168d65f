// Owners for the GDI objects of the prompt (UniqueHandle policies, see common/unique_handle.h).
#pragma once

#include <windows.h>

#include "unique_handle.h"

struct BrushTraits {
    using Type = HBRUSH;
    static Type Invalid() noexcept { return nullptr; }
    static void Close(Type h) noexcept { DeleteObject(h); }
};

using UniqueBrush = UniqueHandle<BrushTraits>;
