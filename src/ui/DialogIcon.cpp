#include "ui/DialogIcon.h"

// The icons live in the resources of the main window's library.
static void InitIconResources() { Q_INIT_RESOURCE(icons); }

namespace gq {

QIcon ProgramIcon() {
  InitIconResources();
  return QIcon(":/icons/glimmerquorum.svg");
}

}  // namespace gq
