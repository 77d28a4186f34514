// The setup window's background colour, derived from the desktop's button colour: a
// little bluer and darker, or dark blue when that would come out too close to pure
// blue. Pure arithmetic; callable from any thread.
#pragma once

namespace gq {

struct Rgb {
  int red = 0;
  int green = 0;
  int blue = 0;
  bool operator==(const Rgb&) const = default;
};

Rgb SetupBackground(Rgb buttonFace);

}  // namespace gq
