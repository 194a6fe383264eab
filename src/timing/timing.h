// The program's only pause.
#pragma once

// Sleeps for about MilliSeconds in the kernel, handling every window message that arrives.
void WaitFor(long MilliSeconds);
