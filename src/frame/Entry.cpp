#include "frame/Entry.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "frame/AssertXL.h"
#include "frame/FileTypeRegistration.h"
#include "frame/HeadlessHost.h"
#include "frame/Settings.h"

namespace gq {

std::thread::id g_mainThreadId;

namespace {

constexpr int kExitUnavailable = 2;

bool NeedsStartHook(const ParsedCommand& parsed) {
  return !parsed.databasePath.empty() || parsed.rest.find_first_not_of(' ') != std::string::npos ||
         parsed.serverPort != 0;
}

void UseUtcTimeZone() {
  setenv("TZ", "UTC00", 1);
  tzset();
}

}  // namespace

int ProgramEntry(const std::vector<std::string>& argv, const ProgramHooks& hooks) {
  g_mainThreadId = std::this_thread::get_id();
  HeadlessHost::BlockTerminationSignals();
  std::string error;
  std::optional<std::string> commandLine = RebuildCommandLine(argv, &error);
  if (!commandLine) {
    std::fprintf(stderr, "GlimmerQuorum: %s\n", error.c_str());
    return kExitUnavailable;
  }
  SetAssertXLCaption(*commandLine);

  ParsedCommand parsed;
  ParseOutcome outcome = ParseCommandLine(*commandLine, &parsed, hooks.parse);
  if (outcome == ParseOutcome::kFinished) return 0;
  if (outcome == ParseOutcome::kUnavailable) return kExitUnavailable;
  if (!hooks.startProgram && NeedsStartHook(parsed)) {
    std::fprintf(stderr,
                 "GlimmerQuorum: opening databases, files and folders and serving over TCP are "
                 "not available in this version.\n");
    return kExitUnavailable;
  }

  UseUtcTimeZone();
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  LoadOrSaveSettings(false);
  RegisterDatabaseFileType(ProgramPath());

  std::unique_ptr<MessageHost> host =
      hooks.makeHost ? hooks.makeHost() : std::make_unique<HeadlessHost>();
  if (hooks.startProgram && !hooks.startProgram(parsed, *host)) return 0;
  int exitCode = host->Run();
  LoadOrSaveSettings(true);
  if (hooks.shutDown) hooks.shutDown();
  return exitCode;
}

}  // namespace gq
