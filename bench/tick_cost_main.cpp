// `tick_cost`: one tick's cost on the in-memory backend, timed by hand, so that the same
// measurement runs in every build, the Windows ones under Wine included
// (bench/windows_side_by_side.sh).
#include "tick_cost.h"

int main() { return RunTickCost(); }
