// Starting other programs without a shell: an argument vector goes to posix_spawn as
// it is, so no path or text can ever become shell syntax. Used by the import filter,
// the tools menu and "open with the associated program". Callable from any thread.
#pragma once

#include <string>
#include <vector>

namespace gq {

struct ProcessResult {
  bool started = false;   // the program could be started at all
  bool exited = false;    // it ended by itself within the time bound
  int exitCode = -1;      // its exit code when exited, else -1
  bool timedOut = false;  // it was killed (with its process group) at the time bound
  std::string error;      // why it could not be started, for messages
};

// Runs argv[0] (searched on PATH when it holds no "/") with the given arguments,
// standard input from /dev/null, and waits at most timeoutMs (negative: no bound).
// A program still running at the bound is killed together with the processes it
// started, and reaped.
ProcessResult RunProcess(const std::vector<std::string>& argv, int timeoutMs);

// Starts argv without waiting for it (it is reaped by a helper thread). Returns
// false with error set when it cannot be started.
bool StartDetachedProcess(const std::vector<std::string>& argv, std::string* error);

// Splits a command template into words: blanks and tabs separate words, double quotes
// group a word and are removed (as a Windows command line does).
std::vector<std::string> SplitCommandWords(const std::string& commandTemplate);

// Replaces every "%1" by first and every "%2" by second inside each word.
std::vector<std::string> SubstitutePlaceholders(std::vector<std::string> words,
                                                const std::string& first,
                                                const std::string& second);

}  // namespace gq
