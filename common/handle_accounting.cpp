#include "unique_handle.h"

#if defined(FNKEY_HANDLE_ACCOUNTING)
#include <atomic>

namespace {
std::atomic<long> heldHandles{0};
}

long HeldHandleCount()
{
    return heldHandles.load();
}

void AdjustHeldHandleCount(long delta)
{
    heldHandles += delta;
}
#endif
