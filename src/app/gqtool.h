// gqtool, the program for scripted and headless use beside GlimmerQuorum: one function
// per subcommand, listed in the command table of gqtool.cpp. Each command gets its
// arguments (after the command name) and the two output streams, and returns the exit
// code. Commands run on the main thread of the gqtool process.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace gq {

using ToolArguments = std::vector<std::string>;

// The exit code of a command that Ctrl-C ended early (after saving or printing what it had).
inline constexpr int kExitInterrupted = 130;

// gqtool signature FILE...: thumbnail size and signature values 0-102 of each picture.
int RunSignatureCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);

// gqtool info DB: the header fields and file facts of a database file.
int RunInfoCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);
// gqtool check DB: reads every record and thumbnail and checks the file's invariants.
int RunCheckCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);
// gqtool export DB --files|--folders [--out FILE]: the text list of files or folders.
int RunExportCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);

// gqtool index DB PATH... [--update] [--jobs N] [--errors FILE] [--quiet] [--json] ...: loads
// pictures into a database.
int RunIndexCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);

// gqtool similar DB PICTURE [--first F] [--last L] [--criteria FILE] [--scores] [--existing]
// [format].
int RunSimilarCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);
// gqtool duplicates DB [--similarity 0-100] [--criteria FILE] [--identity] [format]
// [--details] [--existing] [--keep RULE] [--reference DIR] [--trash|--move-to DIR] [--dry-run],
// format being --json, --csv or -0 (--null).
int RunDuplicatesCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);
// gqtool criteria show FILE: the 20 numbers of a criteria file, each with its name.
int RunCriteriaCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);
// gqtool mosaic DB SOURCE OUT [options]: writes a mosaic picture.
int RunMosaicCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);
// gqtool config get NAME | set NAME VALUE: a value of the user's settings.
int RunConfigCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);
// gqtool adjust DB SEARCH_PICTURE SIMILAR_PICTURE... [--quick] [--criteria FILE] --out FILE.
int RunAdjustCommand(const ToolArguments& args, std::ostream& out, std::ostream& err);

}  // namespace gq
