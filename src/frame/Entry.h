// The process entry of GlimmerQuorum: parses the command line, and either ends there
// (usage, errors, hand-off, client request, query status) or starts the program:
// settings, file-type registration, the main window with the database, files and server
// the command line names, the message loop, and the orderly shut-down. Main thread.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "frame/CommandLine.h"
#include "frame/MessageHost.h"

namespace gq {

// The main (user-interface) thread, remembered first thing at start.
extern std::thread::id g_mainThreadId;

// What the entry needs from the subsystems above the frame; absent hooks mean the
// branch is not built, and a start that needs it ends with a message.
struct ProgramHooks {
  ParseHooks parse;
  // Opens the database and the file list, starts the server (steps after the window
  // exists). False ends the start.
  std::function<bool(const ParsedCommand&, MessageHost&)> startProgram;
  // Makes the host that runs the message loop; absent: the headless host.
  std::function<std::unique_ptr<MessageHost>()> makeHost;
  // After the message loop and the settings save: destroys the server and stops the
  // loader (waiting at most 1000 ms), then closes the database.
  std::function<void()> shutDown;
};

// Runs one start; returns the process exit code (0 for every start that ends while
// parsing; the quit code otherwise; 2 when a needed branch is not built).
int ProgramEntry(const std::vector<std::string>& argv, const ProgramHooks& hooks);

}  // namespace gq
