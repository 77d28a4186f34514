#include "app/ToolSettings.h"

#include "base/Text.h"
#include "loading/ImportFilter.h"

namespace gq {
namespace {

// A converter runs without a shell and must write the picture to the file "%2" stands
// for; a template without "%1" or "%2" can never give a picture. Empty turns the filter
// off. A line break cannot be part of one command line.
bool AcceptImportCommand(const std::string& given, std::string* stored, std::string* problem) {
  if (given.find_first_of("\r\n") != std::string::npos) {
    *problem = "must be one line";
    return false;
  }
  if (!given.empty() &&
      (given.find("%1") == std::string::npos || given.find("%2") == std::string::npos)) {
    *problem = "must name the picture as %1 and the BMP file to write as %2";
    return false;
  }
  *stored = given;
  return true;
}

// Any list is usable once separators are turned into single blanks, as the import filter
// dialog stores it.
bool AcceptImportTypes(const std::string& given, std::string* stored, std::string*) {
  *stored = NormaliseTypeList(given);
  return true;
}

const ToolSetting kToolSettings[] = {
    {"ImportCmd", &ProgramSettings::importCommand, AcceptImportCommand},
    {"ImportTypes", &ProgramSettings::importTypes, AcceptImportTypes},
};

}  // namespace

const ToolSetting* FindToolSetting(const std::string& name) {
  for (const ToolSetting& setting : kToolSettings) {
    if (EqualsNoCase(name, setting.name)) return &setting;
  }
  return nullptr;
}

std::string ToolSettingNames() {
  std::string names;
  for (const ToolSetting& setting : kToolSettings) {
    names += (names.empty() ? "" : ", ") + std::string(setting.name);
  }
  return names;
}

}  // namespace gq
