// The files that setup carries inside itself, linked in at build time: the program,
// the picture viewer wrapper, the tools folder's read-me text and the program icon.
// Read-only data; callable from any thread.
#pragma once

#include <string_view>

namespace gq {

inline constexpr int kFileProgram = 146;      // GlimmerQuorum
inline constexpr int kFileQuickGlance = 150;  // QuickGlance
inline constexpr int kFileReadMe = 152;       // ReadMe.txt
inline constexpr int kFileIcon = 103;         // GlimmerQuorum.svg

// The bytes of the embedded file with that id; empty for an unknown id.
std::string_view EmbeddedFile(int id);

}  // namespace gq
