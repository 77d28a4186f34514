// The one entry for the pixels of a picture file: the loader thread, the conversion of
// an old database, the picture viewer and the mosaic all read pictures through it. It
// tries the import filter and the built-in codecs in the order the user's import
// settings ask for. Callable from several threads at once; conversions run one at a
// time under the import-filter lock, built-in decoding runs outside it.
#pragma once

#include "loading/OpenCvHighGui/opencv_stubs.h"

namespace gq {

// Returns an 8-bit image with row 0 at the top (colour > 0: three channels BGR), or
// null when neither the import filter nor the built-in codecs can read the file:
// - no import command: the built-in codecs only;
// - a command and a type list: files whose extension is listed go to the converter
//   first and to the built-in codecs when that yields nothing; others use the codecs;
// - a command without a type list: the converter is the fallback for every file the
//   codecs cannot read.
// The caller frees the image with cvReleaseImage.
IplImage* LoadPicture(const char* path, int colour);

}  // namespace gq
