// Opening a file with the program the desktop associates with it (xdg-open). A
// failure to start it sounds the default beep. Callable from any thread.
#pragma once

#include <string>

namespace gq {

void OpenWithAssociatedProgram(const std::string& path);

}  // namespace gq
