// The credits block of the About window: seven lines, the newest always at the bottom.
#pragma once
#include <string>

// Step k (0 to 6): 6 - k empty lines, then credit lines 1 to k + 1; every line ends in CR LF.
std::string CreditsText(int step, const std::string& productTitle);
