// Counting every process a test program starts, directly or through the code under test.
//
// The test program puts itself into a job object the first time it asks; every process it creates
// from then on (and every process those create) joins the job when it is created. The job's
// accounting counts each one at creation, so once a launch call has returned, a process it
// started has been counted, whether or not that process has run a single instruction yet. A
// "nothing was started" check compares two counts around the call; it cannot look too early.
//
// The job also ends every process of the test program when the program itself ends, so that no
// handler stand-in outlives its test.
#pragma once

#include <windows.h>

namespace started {

// Processes created in the job so far, the test program itself included.
DWORD Count();

// Waits until every process of the job but the test program itself has ended; false when some
// are still running at the deadline.
bool WaitUntilAllEnded(DWORD timeoutMs);

}  // namespace started
