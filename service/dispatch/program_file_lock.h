// Holding a program file still between its signature check and its start.
#pragma once

#include <windows.h>

#include "unique_handle.h"

// Opens `path` for reading while allowing others only to read it: as long as the returned handle
// is held, no process can write, rename or delete the file, so the program that was verified is
// the program that is started. Open it before the check and hold it until the process has been
// created or the launch has given up. An invalid handle means the file cannot be opened (missing,
// or someone holds it for writing); the launch must then give up.
UniqueFile LockProgramFile(const wchar_t* path);
