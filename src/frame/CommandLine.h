// The program's command line: the option table, the usage text, the parser and the
// process-wide values it sets. The command line is one string (rebuilt from argv);
// options come first, whatever follows the last option is the list of files and
// folders. Parsing runs on the main thread before anything else starts.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace gq {

struct OptionRow {
  const char* longName;
  char shortLetter1;  // 0: none
  char shortLetter2;  // 0: none
  const char* argumentName;
  const char* helpText;
};

enum OptionIndex {
  kOptionHelp,
  kOptionInstance,
  kOptionServer,
  kOptionClient,
  kOptionSelect,
  kOptionActivate,
  kOptionMinimize,
  kOptionDb,
  kOptionCriterias,
  kOptionDelete,
  kOptionQuery,
  kOptionCount
};

extern const OptionRow kOptionTable[kOptionCount];

// The usage text, character for character.
std::string UsageText();

// The result of parsing.
struct ParsedCommand {
  int serverPort = 0;
  std::string clientHost;
  int clientPort = 0;
  bool minimize = false;
  std::string databasePath;
  bool deleteFlag = false;
  int queryFirst = -1;
  int queryLast = -1;
  std::string queryResultFile;
  std::string queryPicture;
  std::string rest;  // the file list: the command line from the cursor after the options
};

// Process-wide values set by parsing and read later by the window, the hand-off and
// the server (main thread, except the flags, which the window reads and clears).
extern std::string g_instanceName;         // "" or "GlimmerQuorum_" + label
extern std::string g_mainWindowClassName;  // "GlimmerQuorumAppClass" [+ "_" + label]
extern std::atomic<bool> g_selectFlag;
extern std::atomic<bool> g_activateFlag;
extern std::atomic<int> g_countBeforeHandOff;  // -1: not set
extern std::string g_criteriaFilePath;

// What the parser needs from the subsystems above it; an absent hook means that
// branch is not available in this build and the start ends with a message.
struct ParseHooks {
  // Hands the request to the running instance of g_instanceName; true when one took it.
  std::function<bool(const ParsedCommand&, const std::string& commandLine)> handOver;
  // Runs this start's request against a remote server.
  std::function<void(const ParsedCommand&)> clientRequest;
};

// How a parse ended.
enum class ParseOutcome {
  kStartProgram,  // the interactive program starts with parsed.rest as its file list
  kFinished,      // this start is done (usage, errors, hand-off, client request)
  kUnavailable,   // a branch whose subsystem is not built; a message went to stderr
};

ParseOutcome ParseCommandLine(const std::string& commandLine, ParsedCommand* parsed,
                              const ParseHooks& hooks);

// The one command-line string from argv: words joined by one blank, a word that is
// empty or holds a blank in double quotes. A word holding a double quote cannot be
// written so: nullopt, with the reason in *error.
std::optional<std::string> RebuildCommandLine(const std::vector<std::string>& argv,
                                              std::string* error);

// Resets the process-wide values (tests).
void ResetCommandLineGlobals();

}  // namespace gq
