// Finds the pairs of pictures where one is an edited copy of the other: for every
// picture the coefficients of its whole frame and of its crop windows, turned by the
// eight orientations, look up pictures whose whole frame has the same coefficient signs
// (and those differing in the least certain signs); a candidate whose coefficients lie
// close enough is confirmed by correlating the aligned grey pictures, after the crop
// window has been fitted. Safe on any thread; reads the descriptors only.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "edits/EditDescriptor.h"

namespace gq {

// A confirmed pair: the picture `to` shows the picture `from` turned by the orientation
// (an index into Orientations()) and, with crop, cut to a part of it.
struct EditMatch {
  int32_t from = 0;
  int32_t to = 0;
  int orientation = 0;
  bool crop = false;
  float correlation = 0;
};

struct EditMatchOptions {
  int threads = 0;  // 0: one per core
  // Called on the calling thread now and then with the share done (0-1); false stops
  // the search, which then returns the pairs confirmed so far.
  std::function<bool(double done)> progress;
};

// Confirmed pairs among the descriptors (null entries and flat pictures take no part)
// that join the pictures into their groups, each pair once, in no particular order; a
// pair whose pictures other pairs join already may be missing. *stopped is set when
// progress stopped the search.
std::vector<EditMatch> FindEditMatches(const std::vector<const EditDescriptor*>& descriptors,
                                       const EditMatchOptions& options, bool* stopped = nullptr);

// How a window of one picture fits another.
struct EditFit {
  CropWindow window;
  float correlation = -1;  // of the aligned grey pictures
  float detail = -1;       // of their fine detail (each less its local mean)
};

// Whether `to` shows `from` turned by the orientation and cut by a window near start:
// the window is fitted to the best correlation of the aligned grey pictures, which must
// then be high for both the pictures and their fine detail (two smooth pictures
// correlate well, their detail does not). A whole-frame start that passes is taken as
// it is. *fit receives the fitted window and the scores.
bool ConfirmEdit(const EditDescriptor& from, const EditDescriptor& to, int orientation,
                 const CropWindow& start, EditFit* fit);

}  // namespace gq
