// The import filter: an external converter, configured by the user as a command template
// ("%1" the picture, "%2" the BMP file it must write), that reads the formats the built-in
// codecs do not. The converter runs without a shell: the template is split into words
// first and the placeholders are substituted inside the words, so a path reaches it as
// one argument whatever characters it holds. Each run uses a temporary folder of its own
// that is removed afterwards in every case; a converter still running at the time limit
// is killed with the processes it started and yields no picture.
//
// The import-filter lock serialises conversions and guards g_settings.importCommand and
// g_settings.importTypes: readers and writers of those two values hold it. Every function
// here may be called from any thread.
#pragma once

#include <mutex>
#include <string>
#include <string_view>

#include "loading/OpenCvHighGui/opencv_stubs.h"

namespace gq {

// The process's one import-filter lock (never shared with other processes).
std::mutex& ImportFilterLock();

// The longest expanded command text that RunImportFilter reports: 1039 characters.
inline constexpr size_t kMaxImportCommandText = 1039;

// How long a converter may run, in milliseconds (60000 unless changed; tests shorten it).
void SetImportFilterTimeLimit(int milliseconds);
int ImportFilterTimeLimit();

// True when the path's extension (the text after its last ".", anywhere in the path) is
// a word of the space-separated type list, compared without regard to letter case. A path
// without "." never matches.
bool ExtensionInTypeList(std::string_view path, std::string_view typeList);

// The type list as it is stored: each of \ / : * ? " < > | . , ; becomes a space, runs of
// white space become one space and leading white space is dropped.
std::string NormaliseTypeList(std::string_view typeList);

// The command as the user reads it: "%1" replaced by the picture, "%2" by the output
// file, any other "%" kept, cut to kMaxImportCommandText characters.
std::string ExpandImportCommand(std::string_view commandTemplate, std::string_view picture,
                                std::string_view output);

// Converts the picture with the command template into "tmp.bmp" in a new temporary folder
// and decodes that with cvLoadImage(iscolor) (no flip). Returns the image or null: the
// converter does not start, fails, runs past the time limit, or writes nothing readable.
// commandOut, when given, receives the expanded command text. The caller holds the
// import-filter lock when it runs conversions that must not overlap.
IplImage* RunImportFilter(const char* path, int iscolor, const std::string& commandTemplate,
                          std::string* commandOut);

// The "Test" of the import-filter dialog: normalises *typeField in place, converts a
// 32 x 32 orange ASCII PPM named "t e s t.ppm" with the command as typed, and shows
// "Test OK" or "Test failed." with the command that was used. Returns whether it worked.
bool TestImportFilter(std::string* typeField, const std::string& command);

}  // namespace gq
