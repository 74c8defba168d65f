// The records exchanged with a session's process-creation pipe (the Windows XP fallback for
// starting a process in another session). Both are fixed little-endian wire layouts with 32-bit
// fields, written and read field by field so that 32-bit and 64-bit builds produce and accept
// the same bytes.
//
// Request: a 148-byte header, then the application name, command line, desktop and title as
// UTF-16LE strings with their NULs (no alignment, a missing string sent as empty), then the
// environment block. Header offsets: 0 total size, 4 requesting process id, 8 always 1, 12 always
// 0, 16 offset of the application name, 20 offset of the command line, 48 inherit-handles flag,
// 52 creation flags, 56 offset of the environment (0 without), 64..131 the STARTUPINFOW in its
// 32-bit layout (cb 68) with lpDesktop (72) and lpTitle (76) replaced by string offsets; all else 0.
//
// Response: 28 bytes: 4 created (nonzero), 8 error code, 12 process handle, 16 thread handle,
// 20 process id, 24 thread id.
#pragma once

#include <windows.h>

#include "unique_handle.h"

inline constexpr DWORD kPipeRequestHeaderSize = 148;
inline constexpr DWORD kPipeRequestBlockStep = 8192;
inline constexpr DWORD kPipeResponseSize = 28;

// The request under construction: a zero-filled heap block that grows in steps of 8192 bytes,
// and how much of it is used. Earlier content survives every growth.
class PipeRequestBlock {
public:
    // Allocates the first 8192 bytes and reserves the header; false when memory is short.
    bool Allocate();

    const BYTE* Data() const { return static_cast<const BYTE*>(memory_.Get()); }
    DWORD Size() const { return size_; }
    DWORD Used() const { return used_; }

    // Makes room for `bytes` more behind what is used. The block grows zero-filled: in steps of
    // 8192 bytes until it fits, or, with `growthBeyond` nonzero, at once to used + bytes +
    // growthBeyond. False when memory is short (the block is then unchanged).
    bool Reserve(DWORD bytes, DWORD growthBeyond);
    // Appends raw bytes at the end (room must have been reserved) and yields their offset.
    DWORD AppendBytes(const void* data, DWORD bytes);
    void PutU32(DWORD offset, DWORD value);
    void PutU16(DWORD offset, WORD value);

private:
    BYTE* MutableData() { return static_cast<BYTE*>(memory_.Get()); }

    UniqueLocalMemory memory_;
    DWORD size_ = 0;
    DWORD used_ = 0;
};

// Appends `text` (null counts as empty) with its terminating NUL and yields its offset; grows the
// block by 8192-byte steps when it does not fit. False when memory is short.
bool AppendRequestString(const wchar_t* text, PipeRequestBlock* block, DWORD* offset);

// Length in bytes of an environment block, up to and including its first two consecutive NUL
// characters (2 bytes a character for a Unicode block, 1 otherwise).
DWORD EnvironmentBlockBytes(const void* environment, bool unicode);

struct PipeLaunchRequest {
    DWORD processId = 0;
    const wchar_t* applicationName = nullptr;
    const wchar_t* commandLine = nullptr;
    BOOL inheritHandles = FALSE;
    DWORD creationFlags = 0;
    const void* environment = nullptr;  // CREATE_UNICODE_ENVIRONMENT in creationFlags says its kind
    const STARTUPINFOW* startupInfo = nullptr;
};

// Builds the whole request into a freshly allocated block; false when memory is short.
bool BuildPipeLaunchRequest(const PipeLaunchRequest& request, PipeRequestBlock* block);

struct PipeLaunchResponse {
    DWORD created = 0;
    DWORD error = 0;
    DWORD process = 0;  // 32-bit handle values, as the wire carries them
    DWORD thread = 0;
    DWORD processId = 0;
    DWORD threadId = 0;
};

PipeLaunchResponse ParsePipeLaunchResponse(const BYTE (&bytes)[kPipeResponseSize]);
