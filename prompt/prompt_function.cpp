#include "prompt_function.h"

#include "resources/resource.h"

namespace {
// Indexed by the enumeration's value. For Camera alone the top picture has the lower number.
constexpr PromptFunctionInfo kPromptFunctions[] = {
    {L"Fn Lock", IDB_FNLOCK_ON, IDB_FNLOCK_OFF, TRUE},
    {L"Caps Lock", IDB_CAPSLOCK_ON, IDB_CAPSLOCK_OFF, FALSE},
    {L"Num Lock", IDB_NUMLOCK_ON, IDB_NUMLOCK_OFF, FALSE},
    {L"Microphone", IDB_MICROPHONE_ON, IDB_MICROPHONE_OFF, FALSE},
    {L"Camera", IDB_CAMERA_ON, IDB_CAMERA_OFF, FALSE},
    {L"Touchpad", IDB_TOUCHPAD_ON, IDB_TOUCHPAD_OFF, FALSE},
    {L"RVL", IDB_RVL_ON, IDB_RVL_OFF, FALSE},
    {L"", 0, 0, FALSE},
};
}  // namespace

const PromptFunctionInfo& PromptFunctionInfoOf(PromptFunction function)
{
    const auto index = static_cast<std::int32_t>(function);
    if (index < 0 || index > static_cast<std::int32_t>(PromptFunction::None)) return kPromptFunctions[7];
    return kPromptFunctions[index];
}
