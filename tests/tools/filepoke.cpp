// filepoke <write|rename|delete> <path>: tries one change of a file and exits with the Windows
// error code of the attempt (0 when it worked). A rename is undone at once, so that only
// "delete" removes the file.
#include <windows.h>

#include <cwchar>
#include <string>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 3) return -1;
    const std::wstring path = argv[2];
    if (std::wcscmp(argv[1], L"write") == 0) {
        HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return static_cast<int>(GetLastError());
        CloseHandle(file);
        return 0;
    }
    if (std::wcscmp(argv[1], L"rename") == 0) {
        const std::wstring moved = path + L".moved";
        if (!MoveFileW(path.c_str(), moved.c_str())) return static_cast<int>(GetLastError());
        MoveFileW(moved.c_str(), path.c_str());
        return 0;
    }
    if (std::wcscmp(argv[1], L"delete") == 0) {
        return DeleteFileW(path.c_str()) ? 0 : static_cast<int>(GetLastError());
    }
    return -1;
}
