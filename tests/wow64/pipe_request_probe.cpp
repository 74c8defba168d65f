// Writes the sample session-pipe request, as this build of the service's code makes it, to the
// file named by its one argument. Exit code 0 when written.
#include <windows.h>

#include <cstdio>

#include "pipe_request_sample.h"

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return 2;
    const std::vector<BYTE> bytes = BuildSamplePipeRequest();
    if (bytes.empty()) return 3;
    FILE* out = _wfopen(argv[1], L"wb");
    if (out == nullptr) return 4;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    return std::fclose(out) == 0 && written ? 0 : 5;
}
