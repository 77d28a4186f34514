#include "ui/WindowFormulas.h"

#include <algorithm>
#include <cstdlib>

#include "base/Text.h"

namespace gq {
namespace {

constexpr uint64_t kThumbnailBytes = 27648;  // 96 x 96 pixels, 3 bytes, rows of 288 bytes

Rgb Darker(Rgb c) { return {c.r / 2, c.g / 2, c.b / 2}; }
Rgb Lighter(Rgb c) { return {255 - (255 - c.r) / 2, 255 - (255 - c.g) / 2, 255 - (255 - c.b) / 2}; }

int Distance(Rgb a, Rgb b) {
  return std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
}

std::string BaseNameWithoutExtension(const std::string& path) {
  std::string name = path.substr(path.find_last_of('/') + 1);
  size_t dot = name.find_last_of('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

std::array<int, 4> StatusPartEdges(int width, int height) {
  int o = width - height * 52 / 100;
  return {o - 270, o - 180, o - 90, o};
}

int ProgressFillWidth(double fraction, int width) {
  if (fraction <= 0) return 0;
  return std::min(width, static_cast<int>(fraction * width) + 1);
}

Rgb ContrastColor(Rgb background, Rgb highlight) {
  bool light = std::max({background.r, background.g, background.b}) > 128;
  Rgb contrast = light ? Darker(background) : Lighter(background);
  if (Distance(contrast, highlight) < 160)
    contrast = light ? Lighter(background) : Darker(background);
  return contrast;
}

uint64_t NeededDiskMiB(uint64_t thumbnailsInMemory, uint64_t pictureCount) {
  return ((kThumbnailBytes + 12) * thumbnailsInMemory + 478 * pictureCount) / 1048576 + 20;
}

std::string WindowTitle(const std::string& databasePath, bool hasPictures, bool saved) {
  std::string title = "GlimmerQuorum - ";
  title += databasePath.empty() ? "[no name]" : BaseNameWithoutExtension(databasePath);
  if (hasPictures && (!saved || databasePath.empty())) title += "*";
  return title;
}

bool PushRecent(RecentList& list, const std::string& path) {
  if (path.empty() || EqualsNoCase(list[0], path)) return false;
  std::string carried = path;
  for (std::string& entry : list) {
    bool held = EqualsNoCase(entry, path);
    std::swap(entry, carried);
    if (held) break;
  }
  return true;
}

std::string RecentLabel(int index, const std::string& path) {
  return "&" + std::to_string(index + 1) + " " + BaseNameWithoutExtension(path);
}

}  // namespace gq
