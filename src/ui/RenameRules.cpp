#include "ui/RenameRules.h"

#include <algorithm>

namespace gq {
namespace {

bool Intersects(const CellRect& a, const CellRect& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

bool Inside(const CellRect& inner, const CellRect& outer) {
  return inner.left >= outer.left && inner.right <= outer.right && inner.top >= outer.top &&
         inner.bottom <= outer.bottom;
}

// The shift that brings [low, high) into [min, max), preferring the low edge.
int32_t ShiftInto(int32_t low, int32_t high, int32_t min, int32_t max) {
  if (high > max) return std::max(max - high, min - low);
  if (low < min) return min - low;
  return 0;
}

// Index of the file name's first character.
size_t NameStart(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

// Index of the extension's dot within the path, or its end; a leading dot of the name
// starts no extension.
size_t ExtensionStart(const std::string& path) {
  const size_t name = NameStart(path);
  const size_t dot = path.find_last_of('.');
  return dot == std::string::npos || dot <= name ? path.size() : dot;
}

}  // namespace

CellRect RenameBoxRect(const CellRect& cell, int32_t menuBarHeight, const CellRect& workArea,
                       int32_t viewBottom) {
  const int32_t widen = (cell.right - cell.left) / 3;
  CellRect box{cell.left - widen, cell.bottom, cell.right + widen + 1,
               cell.bottom + menuBarHeight + 4};
  if (Intersects(cell, workArea) && !Inside(box, workArea)) {
    const int32_t dx = ShiftInto(box.left, box.right, workArea.left, workArea.right);
    const int32_t dy = ShiftInto(box.top, box.bottom, workArea.top, workArea.bottom);
    box = {box.left + dx, box.top + dy, box.right + dx, box.bottom + dy};
  }
  if (box.top > viewBottom) {
    box.bottom -= box.top - viewBottom;
    box.top = viewBottom;
  }
  return box;
}

std::string BaseNameOf(const std::string& path) {
  const size_t name = NameStart(path);
  return path.substr(name, ExtensionStart(path) - name);
}

bool HasForbiddenNameCharacter(const std::string& name) {
  return name.find_first_of("\\/:*?\"<>|") != std::string::npos;
}

std::string RenamedPath(const std::string& path, const std::string& baseName) {
  return path.substr(0, NameStart(path)) + baseName + path.substr(ExtensionStart(path));
}

}  // namespace gq
