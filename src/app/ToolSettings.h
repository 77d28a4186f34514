// The settings gqtool lets a user read and change by name (gqtool config, and the
// import-filter options of gqtool index for one run): the import filter's command
// template and type list. Each setting checks a given value and turns it into the value
// as it is stored. Pure lookups; the values themselves live in g_settings.
#pragma once

#include <string>

#include "frame/Settings.h"

namespace gq {

struct ToolSetting {
  const char* name;  // the value's name in the settings file
  std::string ProgramSettings::*value;
  // The value as it is stored, or false with *problem ("must name ...") for a value
  // that cannot work.
  bool (*accept)(const std::string& given, std::string* stored, std::string* problem);
};

// The setting of a name (any letter case), or null for a name gqtool does not offer.
const ToolSetting* FindToolSetting(const std::string& name);

// The names gqtool offers, separated by ", ".
std::string ToolSettingNames();

}  // namespace gq
