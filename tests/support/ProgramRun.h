// Test helper: runs one of the project's programs as a real child process, in a folder
// of the test's own that also holds the program's settings (config/) and desktop data
// (data/), so that no test touches the user's. The program runs headless: the variables
// that would give it a display are removed.
#pragma once

#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/TextFile.h"
#include "platform/Process.h"

namespace gq::test {

struct ProgramOutput {
  int exitCode = -1;  // -1 when it did not end by itself in time
  std::string out;
  std::string err;
};

// Runs program with arguments in folder and waits for it (at most timeoutMs).
inline ProgramOutput RunProgram(const std::string& program,
                                const std::vector<std::string>& arguments,
                                const std::string& folder, int timeoutMs = 30000) {
  std::vector<std::string> argv = {"/usr/bin/env",
                                   "-u",
                                   "DISPLAY",
                                   "-u",
                                   "WAYLAND_DISPLAY",
                                   "-u",
                                   "QT_QPA_PLATFORM",
                                   "GLIMMERQUORUM_CONFIG_DIR=" + folder + "/config",
                                   "XDG_DATA_HOME=" + folder + "/data",
                                   "/bin/sh",
                                   "-c",
                                   "cd \"$0\" && exec \"$@\" >out.txt 2>err.txt",
                                   folder,
                                   program};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  ProcessResult result = RunProcess(argv, timeoutMs);
  ProgramOutput output;
  output.exitCode = result.exited ? result.exitCode : -1;
  ReadWholeTextFile(folder + "/out.txt", -1, &output.out);
  ReadWholeTextFile(folder + "/err.txt", -1, &output.err);
  return output;
}

// Starts program with arguments in the background, its standard error into
// folder/errName; returns its process id (the caller waits for it).
inline pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::string& folder, const std::string& errName) {
  std::string config = folder + "/config";
  std::string data = folder + "/data";
  std::string errors = folder + "/" + errName;
  pid_t child = fork();
  if (child == 0) {
    setenv("GLIMMERQUORUM_CONFIG_DIR", config.c_str(), 1);
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    for (const char* display : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
      unsetenv(display);
    }
    if (chdir(folder.c_str()) != 0 || !freopen(errors.c_str(), "w", stderr)) _exit(126);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  return child;
}

}  // namespace gq::test
