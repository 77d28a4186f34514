#include "frame/CommandLine.h"

#include <cstdio>

#include "frame/QueryText.h"
#include "frame/StatusLine.h"
#include "base/Words.h"
#include "platform/MessageBox.h"
#include "platform/NamedMutex.h"

namespace gq {

const OptionRow kOptionTable[kOptionCount] = {
    {"help", 'h', '?', "", "Output this help text."},
    {"instance", 'i', 0, "label", "Repeated calls use single program instance."},
    {"server", 0, 0, "portnumber", "Use this port for incoming TCP/IP connections."},
    {"client", 0, 0, "internetaddress:portnumber",
     "Connect to specified server for the current command."},
    {"select", 's', 0, "", "Show newly loaded element. Use with -i."},
    {"activate", 'a', 0, "", "Like -s, but also activates instance."},
    {"minimize", 'm', 0, "", "Hide GUI."},
    {"db", 0, 0, "C:\\mypath\\dbname.gqdb",
     "Use this name and path for database.\n\tNo effect if instance is reused with -i."},
    {"criterias", 'c', 0, "C:\\tmp\\criterias.txt",
     "Load criterias from the given file\n\tCan also be used with -q and -i."},
    {"delete", 'd', 0, "",
     "Delete given picture from DB.\n\tOnly one picture allowed.\n\tNeeds option -i and a "
     "running instance."},
    {"query", 'q', 0, "20 39 C:\\temp\\result.txt",
     "Write a list of the 20th to 39th similar picture to result.txt.\n\tThis must be the last "
     "option.\n\tNeeds option -i and a running instance.\n\tExactly one picture file must be "
     "specified."},
};

std::string g_instanceName;
std::string g_mainWindowClassName = "GlimmerQuorumAppClass";
std::atomic<bool> g_selectFlag{false};
std::atomic<bool> g_activateFlag{false};
std::atomic<int> g_countBeforeHandOff{-1};
std::string g_criteriaFilePath;

namespace {

// The mutex of a first instance, held for the life of the process.
NamedMutex g_instanceMutex;

void Show(const std::string& text) { MessageBox(text, kProgramCaption, MB_OK); }

void Unavailable(const std::string& what) {
  std::fprintf(stderr, "GlimmerQuorum: %s is not available in this version.\n", what.c_str());
}

bool EndsWord(const std::string& text, size_t at) { return at >= text.size() || text[at] == ' '; }

// The row whose long name or short letter stands at the cursor, followed by a blank
// or the end; -1 if none. Long names are tried before short letters, row by row.
int MatchOption(const std::string& text, size_t cursor, size_t* length) {
  for (int row = 0; row < kOptionCount; ++row) {
    const OptionRow& option = kOptionTable[row];
    std::string name = option.longName;
    if (text.compare(cursor, name.size(), name) == 0 && EndsWord(text, cursor + name.size())) {
      *length = name.size();
      return row;
    }
    char c = cursor < text.size() ? text[cursor] : 0;
    bool letter = c != 0 && (c == option.shortLetter1 || c == option.shortLetter2);
    if (letter && EndsWord(text, cursor + 1)) {
      *length = 1;
      return row;
    }
  }
  return -1;
}

// Consumes an option prefix at the cursor. A "/" counts only when an option matches
// right behind it, since on this system an absolute path begins with "/".
bool ConsumePrefix(const std::string& text, size_t* cursor) {
  if (*cursor >= text.size()) return false;
  if (text[*cursor] == '-') {
    ++*cursor;
    if (*cursor < text.size() && text[*cursor] == '-') ++*cursor;
    return true;
  }
  size_t length = 0;
  if (text[*cursor] == '/' && MatchOption(text, *cursor + 1, &length) >= 0) {
    ++*cursor;
    return true;
  }
  return false;
}

void SkipProgramName(const std::string& text, size_t* cursor) {
  while (*cursor < text.size() && (text[*cursor] == ' ' || text[*cursor] == '\t')) ++*cursor;
  if (*cursor < text.size() && text[*cursor] == '"') {
    size_t close = text.find('"', *cursor + 1);
    *cursor = close == std::string::npos ? text.size() : close + 1;
  } else {
    while (*cursor < text.size() && text[*cursor] != ' ' && text[*cursor] != '\t') ++*cursor;
  }
  while (*cursor < text.size() && (text[*cursor] == ' ' || text[*cursor] == '\t')) ++*cursor;
}

void ShowUsage() {
  if (IsConsoleMessageBox()) {
    std::string text = UsageText();
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
  } else {
    Show(UsageText());
  }
}

enum class QueryResult { kEndLoop, kFinished };

QueryResult ParseQueryOption(const std::string& text, size_t* cursor, ParsedCommand* parsed) {
  size_t start = *cursor;
  QueryText query = ParseQueryText(text, cursor);
  if (query.haveResultFile && query.resultFile == "-") {
    Show("Illegal query results file name - can't query to stdout.");
    return QueryResult::kFinished;
  }
  std::string_view queryText = std::string_view(text).substr(start);
  if (query.ok && !g_instanceName.empty()) {
    parsed->queryFirst = query.first;
    parsed->queryLast = query.last;
    parsed->queryResultFile = query.resultFile;
    parsed->queryPicture = query.picture;
    *cursor = query.resultFileCursor;
    return QueryResult::kEndLoop;
  }
  if (query.ok) {
    WriteStatusIntoResultFile(queryText, kStatusMissingInstance,
                              StatusText(kStatusMissingInstance));
    return QueryResult::kFinished;
  }
  if (!WriteStatusIntoResultFile(queryText, kStatusSyntaxError, StatusText(kStatusSyntaxError))) {
    Show("Syntax error in query: " + std::string(queryText));
  }
  return QueryResult::kFinished;
}

void ParseClientOption(const std::string& word, ParsedCommand* parsed) {
  size_t colon = word.find(':');
  if (colon == std::string::npos) {
    Show("Option client needs port number. Missing ':'.");
    return;
  }
  int port = 0;
  if (!ReadWholeNumber(std::string_view(word).substr(colon + 1), &port)) {
    Show("Option client expects port number after ':'.");
    return;
  }
  parsed->clientHost = word.substr(0, colon);
  parsed->clientPort = port;
}

// Handles one matched option; false when it finished the start.
bool HandleOption(int row, const std::string& text, size_t* cursor, ParsedCommand* parsed,
                  bool* endLoop) {
  switch (row) {
    case kOptionHelp:
      ShowUsage();
      return false;
    case kOptionInstance: {
      std::string label = ReadWord(text, cursor);
      if (g_instanceName.empty()) {
        g_instanceName = "GlimmerQuorum_" + label;
        g_mainWindowClassName = "GlimmerQuorumAppClass_" + label;
      }
      return true;
    }
    case kOptionServer:
      if (!ReadWholeNumber(ReadWord(text, cursor), &parsed->serverPort)) {
        Show("Option server needs numerical argument.");
      }
      return true;
    case kOptionClient:
      ParseClientOption(ReadWord(text, cursor), parsed);
      return true;
    case kOptionActivate:
      g_activateFlag = true;
      [[fallthrough]];
    case kOptionSelect:
      g_selectFlag = true;
      g_countBeforeHandOff = 0;
      return true;
    case kOptionMinimize:
      parsed->minimize = true;
      return true;
    case kOptionDb:
      parsed->databasePath = ReadWord(text, cursor);
      return true;
    case kOptionCriterias:
      g_criteriaFilePath = ReadWord(text, cursor);
      return true;
    case kOptionDelete:
      parsed->deleteFlag = true;
      return true;
    case kOptionQuery:
      *endLoop = true;
      return ParseQueryOption(text, cursor, parsed) == QueryResult::kEndLoop;
  }
  return false;
}

ParseOutcome AfterOptions(const std::string& commandLine, ParsedCommand* parsed,
                          const ParseHooks& hooks) {
  bool query = parsed->queryFirst >= 0;
  if (query && parsed->deleteFlag) {
    Show("Options query and delete are mutually exclusive.");
    return ParseOutcome::kFinished;
  }
  if (!parsed->clientHost.empty()) {
    if (parsed->deleteFlag) {
      Show("option delete not implemented yet");
      return ParseOutcome::kFinished;
    }
    if (!hooks.clientRequest) {
      Unavailable("The client mode (--client)");
      return ParseOutcome::kUnavailable;
    }
    hooks.clientRequest(*parsed);
    return ParseOutcome::kFinished;
  }
  if (!g_instanceName.empty()) {
    NamedMutex::Result mutex = g_instanceMutex.Create(g_instanceName);
    if (mutex == NamedMutex::Result::AlreadyExisted) {
      if (!hooks.handOver) {
        Unavailable("Handing over to the running instance " + g_instanceName);
        return ParseOutcome::kUnavailable;
      }
      if (hooks.handOver(*parsed, commandLine)) return ParseOutcome::kFinished;
      // The instance may have ended meanwhile; then this start takes over its label.
      g_instanceMutex.Create(g_instanceName);
    }
  }
  if (parsed->deleteFlag) {
    Show("Option delete needs a running instance.");
    return ParseOutcome::kFinished;
  }
  if (query) {
    WriteStatusToFile(parsed->queryResultFile, kStatusServerNotFound,
                      StatusText(kStatusServerNotFound));
    return ParseOutcome::kFinished;
  }
  return ParseOutcome::kStartProgram;
}

}  // namespace

std::string UsageText() {
  std::string text = "usage: GlimmerQuorum [options] {file|folder}*\noptions are:\n";
  for (const OptionRow& row : kOptionTable) {
    for (char letter : {row.shortLetter1, row.shortLetter2}) {
      if (letter) text += std::string("  -") + letter + " " + row.argumentName + "\n";
    }
    text +=
        std::string("  --") + row.longName + " " + row.argumentName + " \n\t" + row.helpText + "\n";
  }
  return text;
}

ParseOutcome ParseCommandLine(const std::string& commandLine, ParsedCommand* parsed,
                              const ParseHooks& hooks) {
  size_t cursor = 0;
  SkipProgramName(commandLine, &cursor);
  for (;;) {
    SkipSpaces(commandLine, &cursor);
    if (!ConsumePrefix(commandLine, &cursor)) break;
    size_t length = 0;
    int row = MatchOption(commandLine, cursor, &length);
    if (row < 0) {
      Show("Unknown option in call:\n" + commandLine + "\nstarting at:\n" +
           commandLine.substr(cursor));
      return ParseOutcome::kFinished;
    }
    cursor += length;
    SkipSpaces(commandLine, &cursor);
    bool endLoop = false;
    if (!HandleOption(row, commandLine, &cursor, parsed, &endLoop)) return ParseOutcome::kFinished;
    if (endLoop) break;
  }
  parsed->rest = commandLine.substr(cursor);
  return AfterOptions(commandLine, parsed, hooks);
}

std::optional<std::string> RebuildCommandLine(const std::vector<std::string>& argv,
                                              std::string* error) {
  std::string line;
  for (size_t i = 0; i < argv.size(); ++i) {
    const std::string& word = argv[i];
    if (word.find('"') != std::string::npos) {
      *error = "An argument holding a double quote cannot be passed: " + word;
      return std::nullopt;
    }
    if (i > 0) line += ' ';
    bool quote = word.empty() || word.find_first_of(" \t") != std::string::npos;
    line += quote ? "\"" + word + "\"" : word;
  }
  return line;
}

void ResetCommandLineGlobals() {
  g_instanceName.clear();
  g_mainWindowClassName = "GlimmerQuorumAppClass";
  g_selectFlag = false;
  g_activateFlag = false;
  g_countBeforeHandOff = -1;
  g_criteriaFilePath.clear();
  g_instanceMutex.Release();
}

}  // namespace gq
