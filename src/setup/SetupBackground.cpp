#include "setup/SetupBackground.h"

#include <algorithm>
#include <cstdlib>

namespace gq {

Rgb SetupBackground(Rgb face) {
  int e = ((face.blue + 2 * face.green + face.red) / 4 + 255) / 10;
  int blue = face.blue + e;
  if (blue >= 256) {
    e += blue - 255;
    blue = 255;
  }
  int green = 0;
  int red = 0;
  if (face.red >= e / 2) {
    green = face.green - (e - e / 2);
    red = face.red - e / 2;
  } else {
    green = face.green - (e - face.red);
  }
  green = std::max(green, 0);
  if (std::abs(blue - 255) + green + red > 152) return {red, green, blue};
  return {0, 0, 128};
}

}  // namespace gq
