// One tick's cost, timed by hand (no benchmark library), so that the same measurement runs in
// every build, the Windows ones under Wine included: the `tick_cost` program prints it.
#pragma once

// Prints, for each kind of pass, the median over several rounds of nanoseconds per pass on the
// in-memory backend. Returns 0.
int RunTickCost();
