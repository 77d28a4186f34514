#include "signature/CriteriaFile.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/MessageBox.h"

namespace gq {

std::string CriteriaText(const Criteria& criteria) {
  std::string text;
  for (int32_t value : criteria.value) text += " " + std::to_string(value);
  return text;
}

bool WriteCriteriaFile(const std::string& path, const Criteria& criteria) {
  std::FILE* file = std::fopen(path.c_str(), "w");
  bool written = false;
  if (file != nullptr) {
    const std::string text = CriteriaText(criteria);
    written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = std::fclose(file) == 0 && written;
  }
  if (!written) MessageBox("Can't write file.", kProgramCaption, MB_OK | MB_ICONERROR);
  return written;
}

bool ReadCriteriaFile(const std::string& path, Criteria* criteria) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::ostringstream contents;
  contents << file.rdbuf();
  if (file.bad()) return false;
  return ParseCriteriaText(contents.str(), criteria);
}

bool ParseCriteriaText(const std::string& text, Criteria* criteria) {
  const char* cursor = text.c_str();
  for (int32_t& value : criteria->value) {
    char* end = nullptr;
    const long number = std::strtol(cursor, &end, 10);
    if (end == cursor) return false;
    // A number beyond 32 bits is stored clipped, as the dialog would show it anyway.
    value = static_cast<int32_t>(number > INT32_MAX   ? INT32_MAX
                                 : number < INT32_MIN ? INT32_MIN
                                                      : number);
    cursor = end;
  }
  return true;
}

}  // namespace gq
