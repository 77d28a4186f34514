// Reading and writing picture files through OpenCV's codecs under the classic names.
// cvLoadImage picks the codec by the file's first bytes among BMP/DIB, JPEG, Sun raster,
// PBM/PGM/PPM, TIFF and PNG (the extension only matters for the ".jpg" fallback) and
// decodes into an image of the image layer; cvSaveImage picks the writer by extension.
// Callable from any thread at the same time; each thread keeps its own read buffer.
#pragma once

#include "loading/OpenCvHighGui/opencv_stubs.h"

namespace gq {

// Decodes a picture file. iscolor > 0: three channels (BGR); 0: one gray channel; < 0:
// three channels when the file holds a colour picture, else one. Row 0 is the top row;
// pictures with an EXIF orientation are turned upright as every other viewer shows them.
// Returns null for a file that cannot be opened, that no format takes, or whose header or
// data the codec rejects (silently), for a missing path ("null filename", -27), and when
// the picture's buffer cannot be had (the cvAlloc message, then "Inner function
// failed.", -1): a header declaring more than 1 GiB of pixels is refused that way before
// anything is allocated. A truncated JPEG comes back as far as it could be read, as the
// codec delivers it. The caller frees the image with cvReleaseImage.
IplImage* cvLoadImage(const char* filename, int iscolor);

// Writes a 1- or 3-channel 8-bit image in the format named by the path's extension.
// Returns 1 on success and 0 on failure: a missing path ("null filename", -27), another
// channel count (-15, empty message), an unknown extension ("could not find a filter
// for the specified extension", -2), a codec failure ("could not save the image", -2).
// An image whose origin is 1 is written upright and left as it was.
int cvSaveImage(const char* filename, const IplImage* image);

}  // namespace gq
