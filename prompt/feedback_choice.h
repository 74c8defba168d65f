// The user's answer to the prompt, for the components of the product that read it. The prompt
// writes it and never reads it.
#pragma once

#include <windows.h>

inline constexpr const wchar_t* kFeedbackChoiceKey = L"Software\\Norvane\\Glance";  // under HKEY_CURRENT_USER

// Writes HKEY_CURRENT_USER\Software\Norvane\Glance "Enable" as REG_DWORD: 1 for a nonzero
// `enable`, else 0, creating the key. TRUE when the value was written.
BOOL SaveFeedbackChoice(BOOL enable);
