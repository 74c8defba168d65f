// Tokens for programs started in a session.
#pragma once

#include <windows.h>

#include "unique_handle.h"

// A primary copy of `serviceToken` (MAXIMUM_ALLOWED, impersonation level SecurityImpersonation)
// whose session is `sessionId`. False, with *token empty, when either step fails.
bool MoveServiceTokenIntoSession(HANDLE serviceToken, DWORD sessionId, UniqueKernelHandle* token);
