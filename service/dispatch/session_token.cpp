#include "dispatch/session_token.h"

bool MoveServiceTokenIntoSession(HANDLE serviceToken, DWORD sessionId, UniqueKernelHandle* token)
{
    UniqueKernelHandle copy;
    if (!DuplicateTokenEx(serviceToken, MAXIMUM_ALLOWED, nullptr, SecurityImpersonation, TokenPrimary, copy.Put())) {
        return false;
    }
    if (!SetTokenInformation(copy.Get(), TokenSessionId, &sessionId, sizeof sessionId)) return false;
    *token = std::move(copy);
    return true;
}
