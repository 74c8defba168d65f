#include "feedback_choice.h"

#include "unique_handle.h"

BOOL SaveFeedbackChoice(BOOL enable)
{
    UniqueHkey key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kFeedbackChoiceKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                        nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
        return FALSE;
    const DWORD value = enable ? 1 : 0;
    const LONG error =
        RegSetValueExW(key.Get(), L"Enable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    return error == ERROR_SUCCESS;
}
