// The prompt's two localisable texts, read from the text file beside the program (its file name
// with ".ini"): sections "STRINGS.%04X" of the language, then of its primary language, then
// "STRINGS"; keys "MESSAGE_TEXT" and "HOVER_TEXT". At most 259 characters of a value are used;
// an empty value counts as missing.
#pragma once

#include <windows.h>

inline constexpr int kPromptTextChars = 260;
inline constexpr const wchar_t* kMessageTextKey = L"MESSAGE_TEXT";
inline constexpr const wchar_t* kHoverTextKey = L"HOVER_TEXT";
inline constexpr const wchar_t* kDefaultMessageText =
    L"On-Screen feedback is optional for the following keyboard functions:";
inline constexpr const wchar_t* kDefaultHoverText = L"Fn Lock toggles the primary functions of F1 through F12.";

// "STRINGS." and `language` as four upper-case hexadecimal digits.
void FormatLanguageSection(LANGID language, wchar_t (&section)[15]);

// Replaces the extension of the file name at the end of `path` (a buffer of `pathChars`) with
// ".ini". FALSE, with `path` unchanged, when the file name has no extension or the result would
// not fit.
BOOL ReplaceExtensionWithIni(wchar_t* path, int pathChars);

// The section chain of the file at `path` for one key. TRUE: `destination` (of
// `destinationChars`) holds the value, cut to fit. FALSE: found nowhere (or empty everywhere);
// `destination` is untouched.
BOOL ReadLocalizedString(const wchar_t* key, wchar_t* destination, const wchar_t* path, LANGID language,
                         int destinationChars);

// ReadLocalizedString over the text file beside `module`'s file. FALSE, with `destination`
// untouched, also when the module is null or its path does not lead to a text file name.
BOOL LoadPromptText(HMODULE module, LANGID language, const wchar_t* key, wchar_t* destination, int destinationChars);
