// The keyboard functions the prompt can offer, each with its group-box label and its two
// pictures: the top one shows the on-state, the bottom one the same symbol struck through.
#pragma once

#include <windows.h>

#include <cstdint>

enum class PromptFunction : std::int32_t {
    FnLock = 0,
    CapsLock = 1,
    NumLock = 2,
    Microphone = 3,
    Camera = 4,
    Touchpad = 5,
    RVL = 6,
    None = 7,
};

inline constexpr int kPromptFunctionSlots = 7;

struct PromptFunctionInfo {
    const wchar_t* label;  // empty for None
    UINT topBitmap;        // 0 for None
    UINT bottomBitmap;     // 0 for None
    BOOL hasHelpLink;      // the "What's this?" link stands in this function's group
};

// The row of `function`; the None row for any value outside the enumeration.
const PromptFunctionInfo& PromptFunctionInfoOf(PromptFunction function);
