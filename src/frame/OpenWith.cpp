#include "frame/OpenWith.h"

#include "platform/Beep.h"
#include "platform/Process.h"

namespace gq {

void OpenWithAssociatedProgram(const std::string& path) {
  std::string error;
  if (!StartDetachedProcess({"xdg-open", path}, &error)) MessageBeep(MB_BEEP_DEFAULT);
}

}  // namespace gq
