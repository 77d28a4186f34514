// The picture signature: 104 signed 16-bit values that summarise a picture's colours,
// saturation, brightness, texture, main colour areas, format and size. Values 0-102
// are computed once from the thumbnail and the full picture size when a record is
// made; value 103 is the record's place in file-path order, written whenever the
// similarity index is built. Every fractional quantity is stored as value * 32767,
// truncated toward zero. ComputeSignature is a pure function without shared state;
// callable from any thread.
#pragma once

#include <array>
#include <cstdint>

namespace gq {

inline constexpr int kSignatureLength = 104;
// Values 0-102: the ones ComputeSignature writes and the database file stores.
inline constexpr int kComputedSignatureLength = 103;

using Signature = std::array<int16_t, kSignatureLength>;

// Where each group starts.
inline constexpr int kSigCoarse = 0;      // 9 cells of a 3 x 3 grid, row by row: colour X,
                                          // colour Y (+-12612), saturation (0-12612),
                                          // brightness (0-32640)
inline constexpr int kSigCentreCell = 4;  // the cell of values 16-19
inline constexpr int kSigTexture = 36;    // 4 levels: horizontal, vertical, anti-diagonal,
                                          // diagonal mean contrast (0-32767)
inline constexpr int kSigLocal = 52;      // 6 colours (red, yellow, green, cyan, blue,
                                          // magenta): place X, place Y, extent, intensity
                                          // (0-32767), shape (-32767-32767)
inline constexpr int kSigHue = 82;        // hue distribution at 6 positions (0-32767)
inline constexpr int kSigChroma = 88;     // chroma distribution at 6 positions (0-32767)
inline constexpr int kSigWhite = 94;      // white-level distribution at 6 positions (0-32767)
inline constexpr int kSigFormat = 100;    // aspect: landscape positive, portrait negative
inline constexpr int kSigWidth = 101;     // ln(picture width) * 3376.6277, at most 32767
inline constexpr int kSigHeight = 102;    // ln(picture height) * 3376.6277, at most 32767
inline constexpr int kSigFilePath = 103;  // place in path order, set by the similarity index
inline constexpr int kLocalColours = 6;
inline constexpr int kLocalValuesPerColour = 5;

// A pixel's colour as the signature sees it: hue code 0-191 on a circle (cyan 0,
// blue 32, magenta 64, red 96, yellow 128, green 160) or 255 for grey; chroma 0-255;
// white level (the smallest channel) 0-255.
struct PixelColour {
  uint8_t hue;
  uint8_t chroma;
  uint8_t white;
};
PixelColour ConvertColour(uint8_t blue, uint8_t green, uint8_t red);

// The same for `count` packed BGR pixels at once, into three arrays of `count` bytes.
void ConvertColours(const uint8_t* bgr, int count, uint8_t* hue, uint8_t* chroma,
                    uint8_t* white);

// Writes values 0-102 of signature from a packed BGR thumbnail of thumbWidth x
// thumbHeight pixels and the full picture's size; value 103 is left as it is. The
// loader only passes thumbnails of at least 3 x 3 pixels; smaller ones still give a
// defined result (empty cells count 0). Returns false, writing nothing, when the
// thumbnail is empty.
bool ComputeSignature(int thumbWidth, int thumbHeight, const uint8_t* pixels, int pictureWidth,
                      int pictureHeight, int16_t* signature);

}  // namespace gq
