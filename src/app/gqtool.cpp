// Entry of gqtool: picks the subcommand from the command table and runs it.

#include "app/gqtool.h"

#include <cstring>
#include <iostream>

#include "frame/Settings.h"

namespace gq {
namespace {

struct ToolCommand {
  const char* name;
  const char* synopsis;
  const char* help;
  int (*run)(const ToolArguments& args, std::ostream& out, std::ostream& err);
};

const ToolCommand kCommands[] = {
    {"signature", "signature FILE...",
     "Reads each picture as GlimmerQuorum loads it (built-in formats BMP/DIB, JPEG, PNG,\n"
     "PBM/PGM/PPM, Sun raster, TIFF, and others through the import filter of the user's\n"
     "settings), makes its thumbnail and computes its signature. Prints two lines per\n"
     "picture:\n"
     "  thumb W H              the thumbnail's width and height\n"
     "  V0 V1 ... V102         signature values 0-102, separated by single blanks\n"
     "A picture that cannot be read or whose thumbnail has a side of 2 pixels or less\n"
     "prints one line \"error: \" and the reason instead; the command then exits with 1\n"
     "after the last file.",
     RunSignatureCommand},
    {"info", "info DB",
     "Prints the header fields of a database file (magic, version, constant, record\n"
     "count, unused bytes, record list offset), its size and whether a recovery journal\n"
     "lies beside it.",
     RunInfoCommand},
    {"check", "check DB",
     "Reads every record and thumbnail of a database file and checks the file's\n"
     "invariants (header, record lengths and signatures, thumbnail blocks inside the\n"
     "thumbnail area and not overlapping, paths listed once). Prints \"ok\" with a\n"
     "summary, or the first problem on standard error and exits with 1. A database\n"
     "that another program has open is refused; one with a recovery journal beside it\n"
     "is reported as such (loading it recovers the last save).",
     RunCheckCommand},
    {"export", "export DB --files|--folders [--out FILE]",
     "Writes the list of picture files (or of their folders, each once) of a database\n"
     "in path order, one double-quoted path per line ending in CR LF (a path holding a\n"
     "double quote unquoted), to standard output or to FILE (replaced as a whole).\n"
     "Paths no list line can name (line breaks, a final \".txt\") are reported on\n"
     "standard error and left out (exit code 1). Loading the database recovers it first\n"
     "when a recovery journal lies beside it.",
     RunExportCommand},
    {"index",
     "index DB PATH... [--update] [--jobs N] [--errors FILE] [--quiet] [--json] [--exclude "
     "GLOB]...\n"
     "               [--hidden] [--min-size BYTES] [--min-pixels N] [--import-cmd TEMPLATE]\n"
     "               [--import-types LIST] [--save-every SECONDS]",
     "Opens the database file DB (or creates it), loads the given pictures, folders\n"
     "(walked recursively) and text lists into it as GlimmerQuorum does, and saves it.\n"
     "Known pictures whose file did not change are skipped. --update first re-checks\n"
     "every known picture against the disk (changed files are reloaded, vanished ones\n"
     "removed). --jobs N decodes with N threads (default: one per core, at most four\n"
     "per core).\n"
     "Filters over the entries of walked folders (named files are always loaded):\n"
     "--exclude GLOB leaves out what GLOB matches (repeatable; a GLOB holding '/' is\n"
     "matched against the path below the named folder, any other against the name\n"
     "alone; a left-out folder is not entered); hidden folders (a name starting with\n"
     "'.') are left out unless --hidden is given; --min-size BYTES leaves out smaller\n"
     "files; --min-pixels N leaves out pictures whose shorter side has fewer than N\n"
     "pixels (as their header declares).\n"
     "Progress goes to standard error: the count, the total, the percentage, files per\n"
     "second, the time elapsed and an estimate of the time left, then a \"saving\" line;\n"
     "on a terminal as one updating line, otherwise as a plain line every 10 seconds.\n"
     "--quiet turns it off. Files that cannot be loaded are reported on standard error;\n"
     "--errors FILE also writes their messages to FILE, one per line, with the messages\n"
     "the picture codecs write (\"Codec message: ...\"), which never reach the terminal\n"
     "raw. The database's own files (DB and its journal DB~) met in a walked folder are\n"
     "skipped. Ctrl-C stops loading and saves what was loaded (exit code 130).\n"
     "Prints a summary that counts each file once: added, updated (changed on disk and\n"
     "reloaded), removed (vanished, with --update), unchanged, not a picture (no known\n"
     "picture format), damaged (a known format that failed to decode), too small, other\n"
     "errors, skipped (the database's own files), left out (by the filters). Exits\n"
     "with 1 when DB cannot be written (checked before loading), when a named path does\n"
     "not exist or when the named paths hold no picture (the database is still saved).\n"
     "--json prints one object instead: the summary counts and every file with its\n"
     "outcome (see docs/gqtool-output.md); progress and errors stay on standard error.\n"
     "Other formats (WebP, HEIC, camera RAW, ...) are loaded through an import filter, a\n"
     "converter that writes the picture as BMP, e.g. ImageMagick's convert (Debian package\n"
     "imagemagick): --import-cmd 'convert \"%1\" \"%2\"' --import-types 'webp;heic;cr2'\n"
     "for this run (%1 the picture, %2 the BMP file to write; the listed types go to the\n"
     "converter first, and without a list every file the built-in codecs cannot read),\n"
     "or for good with gqtool config set ImportCmd ... and ImportTypes ....\n"
     "A long run saves every 5 minutes (--save-every SECONDS changes it), so a run that\n"
     "is killed loses at most that much; the next run skips what was saved.",
     RunIndexCommand},
    {"similar",
     "similar DB PICTURE [--first F] [--last L] [--criteria FILE] [--scores] [--existing]\n"
     "         [--exact] [--json|--csv|-0]",
     "Orders the pictures of the database by similarity to PICTURE (a picture of the\n"
     "database, or any picture file) as Search Similar does, with the criteria of FILE\n"
     "(default: the default criteria), and prints the paths of the places F to L\n"
     "(default 1 to 20; the picture itself is left out), one per line. --scores adds a\n"
     "tab and the distance to each line. --json prints one object, --csv a table with\n"
     "the columns path,distance, -0 (--null) each path ended by a NUL byte; see\n"
     "docs/gqtool-output.md. Records whose file no longer exists are named on standard\n"
     "error (and marked in the JSON); --existing leaves them out of the list, and\n"
     "gqtool index DB --update removes them from the database.\n"
     "A distance (--scores) is the weighted difference of the two pictures' signatures\n"
     "under the criteria in use: 0 means the same signature, larger means less alike.\n"
     "It has no unit; compare distances within one list, not across criteria files.\n"
     "--exact scores every picture, so the places are the truly nearest ones (Search\n"
     "Similar scores only the candidates of a box around PICTURE and may miss some).",
     RunSimilarCommand},
    {"duplicates",
     "duplicates DB [--similarity 0-100] [--criteria FILE] [--identity] [--edits]\n"
     "         [--json|--csv|-0] [--details] [--existing] [--keep RULE] [--reference DIR]\n"
     "         [--trash|--move-to DIR] [--dry-run]",
     "Runs Search for Duplicates over the database. --similarity 0-100 (default 20) is\n"
     "how loose a copy may be: 0 finds only nearly identical signatures, higher values\n"
     "also group resized, re-encoded or edited copies, and too high values group\n"
     "different pictures that merely look alike. --criteria FILE compares with the\n"
     "criteria of FILE instead of the default similarity criteria (see gqtool criteria),\n"
     "--identity adds the identity check. Prints the\n"
     "groups in group-list order as blocks of paths separated by empty lines; --details\n"
     "adds a tab and the file size in bytes, the picture's WIDTHxHEIGHT and the file time\n"
     "(UTC) to each path (\"missing\" for a file that no longer exists). Such stale\n"
     "records are also named on standard error; --existing leaves them out (and a group\n"
     "left with one picture), gqtool index DB --update removes them. --json prints one\n"
     "object whose members carry the same, --csv a table with the columns\n"
     "group,path,size,width,height,time,keep, -0 (--null) each path ended by a NUL byte\n"
     "and an empty entry between groups; see docs/gqtool-output.md.\n"
     "--keep largest|newest|oldest|first-folder marks one copy of each group to keep:\n"
     "the most pixels (then bytes), the newest or oldest file time, or the first folder\n"
     "in path order. With --reference DIR every copy under DIR is kept and the others of\n"
     "its group are dropped (a group without one follows --keep, or keeps every copy).\n"
     "Plain lines then start with \"keep\" or \"drop\" and a tab.\n"
     "--trash moves every dropped copy to the desktop trash ($XDG_DATA_HOME/Trash),\n"
     "--move-to DIR below DIR (its path relative to the current folder when it lies\n"
     "under it, else its whole path); both take the moved pictures out of the database\n"
     "and report each move on standard error, and --dry-run only reports. Files are\n"
     "only renamed (one on another file system is reported and stays), never deleted.\n"
     "The final status (\"N potential duplicates.\") goes to standard error.\n"
     "Ctrl-C cancels the search and prints the groups found so far, moving nothing\n"
     "(exit code 130).\n"
     "--edits groups instead each picture with its edited copies: resized, re-encoded,\n"
     "blurred, brightened, darkened, changed in contrast, turned grey, cropped by up to\n"
     "about 15 % per side, mirrored or turned by 90, 180 or 270 degrees. It works from\n"
     "the stored thumbnails and keeps what it learns of them in DB.edits beside the\n"
     "database, so a second run is quick; --similarity, --criteria and --identity do\n"
     "not apply. With --json each member also carries \"edit\", how it shows the member\n"
     "it was matched with (see docs/gqtool-output.md). Ctrl-C prints no groups.",
     RunDuplicatesCommand},
    {"criteria", "criteria show FILE",
     "Prints the 20 numbers of a criteria file (as the Criterias dialog saves it, or as\n"
     "adjust writes it) one per line, each with its place, its name as in the dialog and\n"
     "its default. Each number weighs one part of the comparison of two signatures,\n"
     "from 0 (ignored) to 100; the names are those of the Criterias dialog, grouped as\n"
     "Coarse, Global, Local and Other. similar, duplicates, mosaic and adjust take such\n"
     "a file with --criteria.",
     RunCriteriaCommand},
    {"mosaic", "mosaic DB SOURCE OUT [--columns 20] [--rows 30] [--width 1024] [--height 768]",
     "Creates a mosaic of SOURCE out of the database's pictures and writes it to OUT\n"
     "(the format follows the extension, e.g. .bmp, .png, .jpg). Options and defaults:\n"
     "  --columns 20 --rows 30 (1-1000)   --width 1024 --height 768 (columns ... columns\n"
     "  * 1024, rows ... rows * 1024)     --blending 30 (0 mosaic ... 100 original)\n"
     "  --criteria FILE or --current-criteria (default: the mosaic's own criteria)\n"
     "  --no-similarity-check  --no-color-correction  --exclude-source  --avoid-reuse\n"
     "  --no-masked\n"
     "Ctrl-C cancels and still writes the partial mosaic (exit code 130).",
     RunMosaicCommand},
    {"config", "config get NAME | config set NAME VALUE",
     "Prints or changes a value of the user's settings file (also used by GlimmerQuorum):\n"
     "ImportCmd, the import filter's command template (%1 the picture, %2 the BMP file\n"
     "the converter writes; empty turns the filter off), or ImportTypes, the file types\n"
     "it handles (separated by blanks or ';'). An unknown NAME or a command template\n"
     "without %1 and %2 is a usage error.",
     RunConfigCommand},
    {"adjust", "adjust DB SEARCH_PICTURE SIMILAR_PICTURE... [--quick] [--criteria FILE] --out FILE",
     "Adjusts the similarity criteria (starting from FILE, default: the default\n"
     "criteria) so that the SIMILAR_PICTUREs come first in the similar list of\n"
     "SEARCH_PICTURE, as Auto-Adjust Criterias does (--quick: Quick-Adjust), and writes\n"
     "the result as a criteria file to --out. Ctrl-C stops and writes the best criteria\n"
     "found so far (exit code 130).",
     RunAdjustCommand},
};

void PrintHelp(std::ostream& out) {
  out << "Usage: gqtool COMMAND [ARGUMENTS]\n"
         "       gqtool --help\n\n"
         "GlimmerQuorum's tool for scripts and headless use.\n\nCommands:\n";
  for (const ToolCommand& command : kCommands)
    out << "\n  gqtool " << command.synopsis << "\n\n" << command.help << "\n";
  out << "\nExit codes: 0 success, 1 a command failed for some input, 2 usage error.\n";
}

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  using namespace gq;
  if (argc < 2) {
    PrintHelp(std::cerr);
    return 2;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintHelp(std::cout);
    return 0;
  }
  for (const ToolCommand& command : kCommands) {
    if (name != command.name) continue;
    LoadOrSaveSettings(false);
    return command.run(ToolArguments(argv + 2, argv + argc), std::cout, std::cerr);
  }
  std::cerr << "gqtool: unknown command \"" << name << "\"; see gqtool --help\n";
  return 2;
}
