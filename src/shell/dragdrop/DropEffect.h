// What a drag of pictures out of the program offers: the drop effects (the values
// file managers exchange as "Preferred DropEffect"), the effect the held keys prefer,
// and whether links can be offered for a drag of that many files. Pure; any thread.
#pragma once

namespace gq {

enum class DropEffect : unsigned { None = 0, Copy = 1, Move = 2, Link = 4 };

// No Shift: copy; Shift: move; Shift and Control: link.
DropEffect PreferredDropEffect(bool shift, bool control);

// A drag of 100 or more files with the limit on offers no links: preparing them for
// so many files is what the limit protects against.
inline constexpr int kLinkFileLimit = 100;
bool LinksOffered(int fileCount, bool limitOn);

}  // namespace gq
