// The desktop side of the running program: the main window over the program's one
// database, showing its status texts, picture count and title. Main thread.
#pragma once

#include <memory>

#include "app/ProgramHost.h"
#include "ui/MainWindow.h"

namespace gq {

// Creates and shows the main window for program (minimised without activation when
// asked); the window must go before the program does.
std::unique_ptr<MainWindow> OpenProgramWindow(ProgramHost& program, MessageHost& host,
                                              bool minimize);

}  // namespace gq
