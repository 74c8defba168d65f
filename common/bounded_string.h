// Bounded UTF-16 text for fixed-size buffers. Each operation behaves like its strsafe
// counterpart (StringCchCopyW, StringCchCatW, StringCchPrintfW): it never writes past
// `destUnits` units, leaves `dest` terminated whenever destUnits > 0, and returns false when the
// full result did not fit (the truncated text is then in `dest`) or the arguments are unusable
// (a zero-size or null buffer, a null source). Callers treat false as failure of their step.
#pragma once

#include <cstddef>

bool BoundedCopy(wchar_t* dest, size_t destUnits, const wchar_t* source);
bool BoundedCat(wchar_t* dest, size_t destUnits, const wchar_t* source);
// printf conventions of the Windows wide functions: %s takes a wide string.
bool BoundedFormat(wchar_t* dest, size_t destUnits, const wchar_t* format, ...);
