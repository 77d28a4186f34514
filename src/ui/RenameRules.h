// The rules of renaming a picture file in place: where the edit box goes, what it
// holds, which names are refused and the path a new name gives. Pure functions on
// UTF-8 paths with "/" separators and screen pixels; callable from any thread.
#pragma once

#include <string>

#include "ui/ThumbsGeometry.h"

namespace gq {

inline constexpr const char* kForbiddenNameMessage =
    "Filename must not contain \\ / : * ? \" < > or |";

// The edit box for a cell (screen pixels, right and bottom exclusive): right below the
// cell, menuBarHeight + 4 high, a third of the cell wider on each side (one pixel more
// on the right); moved into the work area when the cell is visible there but the box
// is not wholly inside, then moved up so that it does not start below viewBottom.
CellRect RenameBoxRect(const CellRect& cell, int32_t menuBarHeight, const CellRect& workArea,
                       int32_t viewBottom);

// The file name without folder and extension (the text the box starts with).
std::string BaseNameOf(const std::string& path);

// Whether the name holds one of \ / : * ? " < > |.
bool HasForbiddenNameCharacter(const std::string& name);

// The folder of path + "/" + baseName + the old extension.
std::string RenamedPath(const std::string& path, const std::string& baseName);

}  // namespace gq
