#include "dispatch/session_pipe_request.h"

#include <cwchar>

namespace {

DWORD GetU32(const BYTE* bytes, DWORD offset)
{
    return static_cast<DWORD>(bytes[offset]) | static_cast<DWORD>(bytes[offset + 1]) << 8 |
           static_cast<DWORD>(bytes[offset + 2]) << 16 | static_cast<DWORD>(bytes[offset + 3]) << 24;
}

// A pointer or handle member of STARTUPINFOW as the 32-bit layout carries it.
DWORD Wire32(const void* value)
{
    return static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(value));
}

// Largest block the request may grow to; keeps every size and offset well inside 32 bits.
constexpr DWORD kMaximumBlockSize = 0x40000000;

}  // namespace

bool PipeRequestBlock::Allocate()
{
    memory_.Reset(LocalAlloc(LMEM_FIXED | LMEM_ZEROINIT, kPipeRequestBlockStep));
    if (!memory_) return false;
    size_ = kPipeRequestBlockStep;
    used_ = kPipeRequestHeaderSize;
    return true;
}

bool PipeRequestBlock::Reserve(DWORD bytes, DWORD growthBeyond)
{
    if (bytes > kMaximumBlockSize - used_) return false;
    if (used_ + bytes <= size_) return true;
    DWORD newSize = size_;
    if (growthBeyond != 0) {
        newSize = used_ + bytes + growthBeyond;
    } else {
        while (newSize < used_ + bytes) newSize += kPipeRequestBlockStep;
    }
    HLOCAL grown = LocalReAlloc(memory_.Get(), newSize, LMEM_MOVEABLE | LMEM_ZEROINIT);
    if (grown == nullptr) return false;  // the old block is still ours
    memory_.Release();                   // moved: the old address is gone
    memory_.Reset(grown);
    size_ = newSize;
    return true;
}

DWORD PipeRequestBlock::AppendBytes(const void* data, DWORD bytes)
{
    const DWORD offset = used_;
    memcpy(MutableData() + offset, data, bytes);
    used_ += bytes;
    return offset;
}

void PipeRequestBlock::PutU32(DWORD offset, DWORD value)
{
    BYTE* p = MutableData() + offset;
    for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(value >> (8 * i));
}

void PipeRequestBlock::PutU16(DWORD offset, WORD value)
{
    BYTE* p = MutableData() + offset;
    p[0] = static_cast<BYTE>(value);
    p[1] = static_cast<BYTE>(value >> 8);
}

bool AppendRequestString(const wchar_t* text, PipeRequestBlock* block, DWORD* offset)
{
    if (text == nullptr) text = L"";
    const size_t units = wcslen(text) + 1;
    if (units > kMaximumBlockSize / sizeof(wchar_t)) return false;
    const DWORD bytes = static_cast<DWORD>(units * sizeof(wchar_t));
    if (!block->Reserve(bytes, 0)) return false;
    // UTF-16LE unit by unit, whatever the byte order of the build.
    const DWORD start = block->Used();
    for (size_t i = 0; i < units; ++i) {
        const WORD unit = static_cast<WORD>(text[i]);
        const BYTE le[2] = {static_cast<BYTE>(unit), static_cast<BYTE>(unit >> 8)};
        block->AppendBytes(le, 2);
    }
    *offset = start;
    return true;
}

DWORD EnvironmentBlockBytes(const void* environment, bool unicode)
{
    DWORD characters = 0;
    if (unicode) {
        const auto* p = static_cast<const wchar_t*>(environment);
        while (!(p[characters] == L'\0' && p[characters + 1] == L'\0')) ++characters;
        return (characters + 2) * static_cast<DWORD>(sizeof(wchar_t));
    }
    const auto* p = static_cast<const char*>(environment);
    while (!(p[characters] == '\0' && p[characters + 1] == '\0')) ++characters;
    return characters + 2;
}

bool BuildPipeLaunchRequest(const PipeLaunchRequest& request, PipeRequestBlock* block)
{
    if (!block->Allocate()) return false;
    const STARTUPINFOW empty{};
    const STARTUPINFOW& si = request.startupInfo != nullptr ? *request.startupInfo : empty;

    block->PutU32(4, request.processId);
    block->PutU32(8, 1);
    block->PutU32(12, 0);
    block->PutU32(48, request.inheritHandles ? 1 : 0);
    block->PutU32(52, request.creationFlags);

    // STARTUPINFOW in its 32-bit layout; lpDesktop and lpTitle become string offsets below.
    block->PutU32(64, 68);
    block->PutU32(68, Wire32(si.lpReserved));
    block->PutU32(80, si.dwX);
    block->PutU32(84, si.dwY);
    block->PutU32(88, si.dwXSize);
    block->PutU32(92, si.dwYSize);
    block->PutU32(96, si.dwXCountChars);
    block->PutU32(100, si.dwYCountChars);
    block->PutU32(104, si.dwFillAttribute);
    block->PutU32(108, si.dwFlags);
    block->PutU16(112, si.wShowWindow);
    block->PutU16(114, si.cbReserved2);
    block->PutU32(116, Wire32(si.lpReserved2));
    block->PutU32(120, Wire32(si.hStdInput));
    block->PutU32(124, Wire32(si.hStdOutput));
    block->PutU32(128, Wire32(si.hStdError));

    DWORD offset = 0;
    if (!AppendRequestString(request.applicationName, block, &offset)) return false;
    block->PutU32(16, offset);
    if (!AppendRequestString(request.commandLine, block, &offset)) return false;
    block->PutU32(20, offset);
    if (!AppendRequestString(si.lpDesktop, block, &offset)) return false;
    block->PutU32(72, offset);
    if (!AppendRequestString(si.lpTitle, block, &offset)) return false;
    block->PutU32(76, offset);

    if (request.environment != nullptr) {
        const DWORD bytes =
            EnvironmentBlockBytes(request.environment, (request.creationFlags & CREATE_UNICODE_ENVIRONMENT) != 0);
        if (!block->Reserve(bytes, kPipeRequestBlockStep)) return false;
        block->PutU32(56, block->AppendBytes(request.environment, bytes));
    }
    block->PutU32(0, block->Used());
    return true;
}

PipeLaunchResponse ParsePipeLaunchResponse(const BYTE (&bytes)[kPipeResponseSize])
{
    PipeLaunchResponse response;
    response.created = GetU32(bytes, 4);
    response.error = GetU32(bytes, 8);
    response.process = GetU32(bytes, 12);
    response.thread = GetU32(bytes, 16);
    response.processId = GetU32(bytes, 20);
    response.threadId = GetU32(bytes, 24);
    return response;
}
