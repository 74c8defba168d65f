#include "prompt_text.h"

#include <shlwapi.h>

#include <cwchar>
#include <iterator>

void FormatLanguageSection(LANGID language, wchar_t (&section)[15])
{
    wnsprintfW(section, 15, L"STRINGS.%04X", static_cast<unsigned>(language));
}

BOOL ReplaceExtensionWithIni(wchar_t* path, int pathChars)
{
    constexpr wchar_t kIni[] = L".ini";
    wchar_t* dot = StrRChrW(path, nullptr, L'.');
    // A dot before the last separator belongs to a folder, not to the file name.
    if (dot == nullptr || wcspbrk(dot, L"\\/") != nullptr) return FALSE;
    if ((dot - path) + static_cast<int>(std::size(kIni)) > pathChars) return FALSE;
    wmemcpy(dot, kIni, std::size(kIni));
    return TRUE;
}

BOOL ReadLocalizedString(const wchar_t* key, wchar_t* destination, const wchar_t* path, LANGID language,
                         int destinationChars)
{
    if (destination == nullptr || destinationChars < 1) return FALSE;
    wchar_t value[kPromptTextChars] = {};
    wchar_t section[15];
    FormatLanguageSection(language, section);
    DWORD found = GetPrivateProfileStringW(section, key, L"", value, kPromptTextChars, path);
    if (found == 0) {
        // The primary language: the sub-language bits cleared.
        FormatLanguageSection(static_cast<LANGID>(language & 0x3FF), section);
        found = GetPrivateProfileStringW(section, key, L"", value, kPromptTextChars, path);
    }
    if (found == 0) found = GetPrivateProfileStringW(L"STRINGS", key, L"", value, kPromptTextChars, path);
    if (found == 0) return FALSE;
    StrCpyNW(destination, value, destinationChars);
    return TRUE;
}

BOOL LoadPromptText(HMODULE module, LANGID language, const wchar_t* key, wchar_t* destination, int destinationChars)
{
    if (module == nullptr) return FALSE;
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    // A result of the buffer's size means the path was cut.
    if (length == 0 || length >= MAX_PATH) return FALSE;
    if (!ReplaceExtensionWithIni(path, MAX_PATH)) return FALSE;
    return ReadLocalizedString(key, destination, path, language, destinationChars);
}
