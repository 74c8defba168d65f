// Appending one line to a log that several processes write at once.
//
// On Windows a write through a handle opened for appending only lands at the end of the file
// whole. Wine does not make that one step: two processes appending at the same moment can
// overwrite each other's line or interleave parts of it. So the writer holds the file to itself
// for the moment of its write (no write sharing; a second writer waits for the first one's close)
// and writes the line with a single WriteFile. Readers may keep the file open meanwhile.
#pragma once

#include <windows.h>

// Appends `line` (`length` bytes, its line end included) to `path`, waiting up to 10 s for
// another writer. False when the file could not be opened or the line not written whole.
inline bool AppendLineAlone(const wchar_t* path, const char* line, DWORD length)
{
    const ULONGLONG deadline = GetTickCount64() + 10000;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (;;) {
        file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) break;
        if (GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount64() >= deadline) return false;
        Sleep(1);
    }
    DWORD written = 0;
    const BOOL wrote = WriteFile(file, line, length, &written, nullptr);
    CloseHandle(file);
    return wrote && written == length;
}
