#include "unique_handle.h"

#if defined(FNKEY_HANDLE_ACCOUNTING)
#include <atomic>

// The count shares one object with a tag. Whatever links the count (every owner's Account() does)
// links the tag with it, and the tag is data, so it stays in a stripped program too:
// tests/harness/check-no-test-code looks for it to prove a shipped program has no accounting.
struct HandleAccounting {
    char tag[48];
    std::atomic<long> held;
};
HandleAccounting handleAccounting{"fnkey handle accounting (test builds only)", 0};

long HeldHandleCount()
{
    return handleAccounting.held.load();
}

void AdjustHeldHandleCount(long delta)
{
    handleAccounting.held += delta;
}
#endif
