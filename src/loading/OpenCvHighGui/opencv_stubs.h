// The program's small image layer under the names of the classic OpenCV image functions:
// the IplImage header, creating and releasing images and their buffers, the bounded
// allocator, the vertical flip and the process-wide error status. Everything lives in
// namespace gq, so it never meets OpenCV's own C symbols of the same names. Every
// function may be called from any thread; an image belongs to one thread at a time.
// Errors go through cvError: a message box captioned with the function name, then the
// status becomes the pending error status that cvGetErrStatus reads and clears.
#pragma once

#include <cstddef>

namespace gq {

inline constexpr int IPL_DEPTH_SIGN = static_cast<int>(0x80000000u);
inline constexpr int IPL_DEPTH_1U = 1;
inline constexpr int IPL_DEPTH_8U = 8;
inline constexpr int IPL_DEPTH_16U = 16;
inline constexpr int IPL_DEPTH_32F = 32;
inline constexpr int IPL_DEPTH_64F = 64;
inline constexpr int IPL_DEPTH_8S = IPL_DEPTH_SIGN | 8;
inline constexpr int IPL_DEPTH_16S = IPL_DEPTH_SIGN | 16;
inline constexpr int IPL_DEPTH_32S = IPL_DEPTH_SIGN | 32;
inline constexpr int IPL_ORIGIN_TL = 0;  // row 0 is the top row
inline constexpr int IPL_ORIGIN_BL = 1;  // row 0 is the bottom row

// Error status values.
inline constexpr int CV_StsOk = 0;
inline constexpr int CV_StsBackTrace = -1;  // "Inner function failed."
inline constexpr int CV_StsError = -2;
inline constexpr int CV_StsNoMem = -4;
inline constexpr int CV_StsBadArg = -5;
inline constexpr int CV_HeaderIsNull = -9;
inline constexpr int CV_BadNumChannels = -15;
inline constexpr int CV_BadDepth = -17;
inline constexpr int CV_BadAlign = -21;
inline constexpr int CV_BadOrigin = -24;
inline constexpr int CV_BadROISize = -25;
inline constexpr int CV_StsNullPtr = -27;
inline constexpr int CV_StsOutOfRange = -211;

// The largest block cvAlloc hands out: 1 GiB.
inline constexpr size_t kMaxAllocation = 0x40000000;

struct CvSize {
  int width;
  int height;
};

// The image header of the classic interface. The image layer only ever creates 8-bit
// images of 1 or 3 channels, origin 0, alignment 4, without a region of interest.
struct IplImage {
  int nSize;  // sizeof(IplImage); anything else is not an image of this layer
  int ID;
  int nChannels;  // 1 gray, 3 blue-green-red
  int alphaChannel;
  int depth;           // IPL_DEPTH_...
  char colorModel[4];  // "GRAY", "RGB", ...
  char channelSeq[4];  // "GRAY", "BGR", "BGRA"
  int dataOrder;
  int origin;  // IPL_ORIGIN_TL or IPL_ORIGIN_BL
  int align;   // row alignment, 4 or 8
  int width;
  int height;
  void* roi;
  IplImage* maskROI;
  void* imageId;
  void* tileInfo;
  int imageSize;    // widthStep * height
  char* imageData;  // owned by the image
  int widthStep;    // bytes per row
  int BorderMode[4];
  int BorderConst[4];
  char* imageDataOrigin;  // the same pointer as imageData
};

// Reports an error: a message box (caption function, text message, error icon), then
// the status becomes the pending error status.
void cvError(int status, const char* function, const char* message, const char* file, int line);
// Returns the pending error status and resets it to 0.
int cvGetErrStatus();

// Allocates size bytes; more than kMaxAllocation fails with "Negative or too large
// argument of cvAlloc function" (-211), an exhausted heap with "Out of memory" (-4).
void* cvAlloc(size_t size);
// Frees *pointer (null does nothing) and clears it; a null pointer-to-pointer is
// "Null double pointer is passed" (-27).
void cvFree(void** pointer);

// Fills a header (no buffer): checks the size ("Bad input roi"), depth and channel count
// ("Unsupported format"), origin ("Bad input origin") and alignment ("Bad input align"),
// and a row step or image size beyond 31 bits ("Overflow for imageSize"). Returns the
// header, or null after the error.
IplImage* cvInitImageHeader(IplImage* image, CvSize size, int depth, int channels, int origin,
                            int align);
// A new header with origin 0 and alignment 4, or null after an error.
IplImage* cvCreateImageHeader(CvSize size, int depth, int channels);
// Allocates imageSize bytes for the image ("Data is already allocated" when it has a
// buffer). On failure the image keeps no buffer.
void cvCreateData(IplImage* image);
void cvReleaseData(IplImage* image);
// A header with its buffer, or null after an error (nothing left allocated).
IplImage* cvCreateImage(CvSize size, int depth, int channels);
// Frees the header (not the buffer) and clears *image.
void cvReleaseImageHeader(IplImage** image);
// Frees buffer and header and clears *image; a null *image does nothing.
void cvReleaseImage(IplImage** image);

// Flips the image vertically in place (rows swapped pairwise through a row-sized scratch
// buffer) and toggles its origin; destination and mode are ignored. Returns 0, or the
// error status when the scratch buffer cannot be had.
int cvFlip(IplImage* image, IplImage* destination, int mode);

CvSize cvGetSize(const IplImage* image);

// Large picture buffers freed by cvFree are kept, one per thread, and handed out again
// by cvAlloc when they are big enough: decoding picture after picture then writes into
// memory that is already mapped instead of paying a page fault per 4 KiB. On by
// default; the benchmarks turn it off to show the difference.
void SetPictureBufferReuse(bool enabled);

}  // namespace gq
