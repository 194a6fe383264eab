// Starting other programs and looking at files.
#pragma once
#include <string>
#include <vector>

namespace plat {

bool FileExists(const std::string& path);
// Starts argv[0] with its arguments, without a shell and without waiting for it; maximized asks
// for its window to open maximized and focused where the platform can say so. False when it
// could not be started.
bool StartProgram(const std::vector<std::string>& argv, bool maximized);
// Opens a web address in the user's web browser, without waiting.
bool OpenUrl(const std::string& url);

}  // namespace plat
