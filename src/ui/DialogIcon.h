// The program's icon, which every dialog carries in its title bar (and the about box
// shows large). User-interface thread only.
#pragma once

#include <QIcon>

namespace gq {

QIcon ProgramIcon();

}  // namespace gq
