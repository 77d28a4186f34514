// The main window's arithmetic, free of Qt: where the status bar parts end, how much
// of the progress pane is filled, the contrast colour of the views, the disk space a
// collection needs, the title text and the recent-database list. Pure functions.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace gq {

// The right edges of the four status parts for a status bar of the given width and
// height: o - 270, o - 180, o - 90 and o, where o leaves 52 % of the height to the
// size grip.
std::array<int, 4> StatusPartEdges(int width, int height);

// The filled pixels of a progress pane of the given width: none at 0, otherwise
// fraction x width + 1, never more than the width.
int ProgressFillWidth(double fraction, int width);

// An RGB colour, 8 bits a component.
struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// The colour that marks the first picture of a group and the search picture on the
// background c: darker (c / 2) on a light background (a component above 128), lighter
// (255 - (255 - c) / 2) otherwise; the other way round when the result lies within a
// distance of 160 (sum of component differences) of the highlight colour.
Rgb ContrastColor(Rgb background, Rgb highlight);

// The free disk space in MiB a collection needs: thumbnailsInMemory thumbnails of
// 96 x 96 pixels and pictureCount records, plus 20 MiB.
uint64_t NeededDiskMiB(uint64_t thumbnailsInMemory, uint64_t pictureCount);

// "GlimmerQuorum - " + the database file's base name or "[no name]", and "*" when the
// database holds pictures that are unsaved or have no file.
std::string WindowTitle(const std::string& databasePath, bool hasPictures, bool saved);

// The four recent databases, newest first; "" for an empty entry.
using RecentList = std::array<std::string, 4>;

// Puts path at the head: each entry takes the one before it, down to the entry that
// held path already (compared without regard to case) or the oldest, which falls off.
// Returns whether the list changed.
bool PushRecent(RecentList& list, const std::string& path);

// The File menu label of entry index (0..3): "&1 " + base name without extension.
std::string RecentLabel(int index, const std::string& path);

}  // namespace gq
