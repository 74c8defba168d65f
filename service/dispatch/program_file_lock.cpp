#include "dispatch/program_file_lock.h"

UniqueFile LockProgramFile(const wchar_t* path)
{
    return UniqueFile(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}
