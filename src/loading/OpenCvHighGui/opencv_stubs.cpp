#include "loading/OpenCvHighGui/opencv_stubs.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/MessageBox.h"

namespace gq {
namespace {

// The pending error status, shared by all threads.
std::atomic<int> g_errorStatus{0};
std::atomic<bool> g_reuseBuffers{true};

// Every block carries its capacity in front of it; the prefix keeps 16-byte alignment.
constexpr size_t kPrefix = 64;
// Blocks from this size on are worth keeping for the next picture.
constexpr size_t kReusableSize = size_t{1} << 20;

size_t CapacityOf(void* block) {
  size_t capacity;
  std::memcpy(&capacity, static_cast<char*>(block) - kPrefix, sizeof capacity);
  return capacity;
}

// The one kept block of this thread, freed when the thread ends.
struct KeptBlock {
  void* block = nullptr;
  ~KeptBlock() {
    if (block) std::free(static_cast<char*>(block) - kPrefix);
  }
};
thread_local KeptBlock t_kept;

void* NewBlock(size_t size) {
  char* base = static_cast<char*>(std::malloc(size + kPrefix));
  if (!base) return nullptr;
  std::memcpy(base, &size, sizeof size);
  return base + kPrefix;
}

void FreeBlock(void* block) {
  if (block == nullptr) return;
  if (g_reuseBuffers.load(std::memory_order_relaxed) && CapacityOf(block) >= kReusableSize) {
    if (t_kept.block == nullptr) {
      t_kept.block = block;
      return;
    }
    // Keep the larger of the two.
    if (CapacityOf(block) > CapacityOf(t_kept.block)) std::swap(block, t_kept.block);
  }
  std::free(static_cast<char*>(block) - kPrefix);
}

const char* ColorModelOf(int channels) {
  switch (channels) {
    case 1:
      return "GRAY";
    case 3:
      return "RGB";
    case 4:
      return "RGB";
    default:
      return "";
  }
}

const char* ChannelSeqOf(int channels) {
  switch (channels) {
    case 1:
      return "GRAY";
    case 3:
      return "BGR";
    case 4:
      return "BGRA";
    default:
      return "";
  }
}

// A four-character code field: up to four characters, no terminator when all four are used.
void CopyCode(char (&field)[4], const char* code) {
  const size_t length = std::min<size_t>(std::strlen(code), 4);
  std::memcpy(field, code, length);
  std::memset(field + length, 0, 4 - length);
}

bool ValidDepth(int depth) {
  switch (depth) {
    case IPL_DEPTH_1U:
    case IPL_DEPTH_8U:
    case IPL_DEPTH_16U:
    case IPL_DEPTH_32F:
    case IPL_DEPTH_64F:
    case IPL_DEPTH_8S:
    case IPL_DEPTH_16S:
    case IPL_DEPTH_32S:
      return true;
    default:
      return false;
  }
}

bool IsImage(const IplImage* image) {
  return image != nullptr && image->nSize == static_cast<int>(sizeof(IplImage));
}

}  // namespace

void cvError(int status, const char* function, const char* message, const char*, int) {
  MessageBox(message ? message : "", function ? function : "", MB_OK | MB_ICONERROR);
  g_errorStatus.store(status);
}

int cvGetErrStatus() { return g_errorStatus.exchange(0); }

void* cvAlloc(size_t size) {
  if (size > kMaxAllocation) {
    cvError(CV_StsOutOfRange, "cvAlloc", "Negative or too large argument of cvAlloc function",
            __FILE__, __LINE__);
    return nullptr;
  }
  if (size >= kReusableSize && t_kept.block != nullptr && CapacityOf(t_kept.block) >= size) {
    void* block = t_kept.block;
    t_kept.block = nullptr;
    return block;
  }
  void* block = NewBlock(size);
  if (block == nullptr && t_kept.block != nullptr) {
    // Give the kept block back to the heap and try once more.
    std::free(static_cast<char*>(t_kept.block) - kPrefix);
    t_kept.block = nullptr;
    block = NewBlock(size);
  }
  if (block == nullptr) cvError(CV_StsNoMem, "cvAlloc", "Out of memory", __FILE__, __LINE__);
  return block;
}

void cvFree(void** pointer) {
  if (pointer == nullptr) {
    cvError(CV_StsNullPtr, "cvFree", "Null double pointer is passed", __FILE__, __LINE__);
    return;
  }
  FreeBlock(*pointer);
  *pointer = nullptr;
}

void SetPictureBufferReuse(bool enabled) {
  g_reuseBuffers.store(enabled);
  if (!enabled && t_kept.block != nullptr) {
    std::free(static_cast<char*>(t_kept.block) - kPrefix);
    t_kept.block = nullptr;
  }
}

IplImage* cvInitImageHeader(IplImage* image, CvSize size, int depth, int channels, int origin,
                            int align) {
  if (image == nullptr) {
    cvError(CV_HeaderIsNull, "cvInitImageHeader", "null pointer to header", __FILE__, __LINE__);
    return nullptr;
  }
  std::memset(image, 0, sizeof *image);
  image->nSize = sizeof(IplImage);
  CopyCode(image->colorModel, ColorModelOf(channels));
  CopyCode(image->channelSeq, ChannelSeqOf(channels));
  if (size.width < 0 || size.height < 0) {
    cvError(CV_BadROISize, "cvInitImageHeader", "Bad input roi", __FILE__, __LINE__);
    return nullptr;
  }
  if (!ValidDepth(depth) || channels < 0) {
    cvError(CV_BadDepth, "cvInitImageHeader", "Unsupported format", __FILE__, __LINE__);
    return nullptr;
  }
  if (origin != IPL_ORIGIN_TL && origin != IPL_ORIGIN_BL) {
    cvError(CV_BadOrigin, "cvInitImageHeader", "Bad input origin", __FILE__, __LINE__);
    return nullptr;
  }
  if (align != 4 && align != 8) {
    cvError(CV_BadAlign, "cvInitImageHeader", "Bad input align", __FILE__, __LINE__);
    return nullptr;
  }
  image->width = size.width;
  image->height = size.height;
  image->nChannels = std::max(channels, 1);
  image->depth = depth;
  image->align = align;
  image->origin = origin;
  // 64-bit arithmetic: a huge width must not wrap into a small row step.
  const int64_t bits = static_cast<int64_t>(image->width) * image->nChannels *
                       (static_cast<uint32_t>(depth) & ~static_cast<uint32_t>(IPL_DEPTH_SIGN));
  const int64_t step = ((bits + 7) / 8 + align - 1) & ~static_cast<int64_t>(align - 1);
  const int64_t imageSize = step * image->height;
  if (step > INT32_MAX || imageSize > INT32_MAX) {
    cvError(CV_StsNoMem, "cvInitImageHeader", "Overflow for imageSize", __FILE__, __LINE__);
    return nullptr;
  }
  image->widthStep = static_cast<int>(step);
  image->imageSize = static_cast<int>(imageSize);
  return image;
}

IplImage* cvCreateImageHeader(CvSize size, int depth, int channels) {
  IplImage* image = static_cast<IplImage*>(cvAlloc(sizeof(IplImage)));
  if (image == nullptr) return nullptr;
  if (cvInitImageHeader(image, size, depth, channels, IPL_ORIGIN_TL, 4) == nullptr) {
    void* block = image;
    cvFree(&block);
    return nullptr;
  }
  return image;
}

void cvCreateData(IplImage* image) {
  if (!IsImage(image)) {
    cvError(CV_StsBadArg, "cvCreateData", "unrecognized or unsupported array type", __FILE__,
            __LINE__);
    return;
  }
  if (image->imageData != nullptr) {
    cvError(CV_StsError, "cvCreateData", "Data is already allocated", __FILE__, __LINE__);
    return;
  }
  image->imageData = static_cast<char*>(cvAlloc(static_cast<size_t>(image->imageSize)));
  image->imageDataOrigin = image->imageData;
}

void cvReleaseData(IplImage* image) {
  if (!IsImage(image)) {
    cvError(CV_StsBadArg, "cvReleaseData", "unrecognized or unsupported array type", __FILE__,
            __LINE__);
    return;
  }
  void* block = image->imageDataOrigin;
  cvFree(&block);
  image->imageData = nullptr;
  image->imageDataOrigin = nullptr;
}

IplImage* cvCreateImage(CvSize size, int depth, int channels) {
  IplImage* image = cvCreateImageHeader(size, depth, channels);
  if (image == nullptr) return nullptr;
  cvCreateData(image);
  if (image->imageData == nullptr) {
    cvReleaseImageHeader(&image);
    return nullptr;
  }
  return image;
}

void cvReleaseImageHeader(IplImage** image) {
  if (image == nullptr) {
    cvError(CV_StsNullPtr, "cvReleaseImageHeader", "Null double pointer is passed", __FILE__,
            __LINE__);
    return;
  }
  void* block = *image;
  cvFree(&block);
  *image = nullptr;
}

void cvReleaseImage(IplImage** image) {
  if (image == nullptr) {
    cvError(CV_StsNullPtr, "cvReleaseImage", "Null double pointer is passed", __FILE__, __LINE__);
    return;
  }
  if (*image == nullptr) return;
  cvReleaseData(*image);
  cvReleaseImageHeader(image);
}

int cvFlip(IplImage* image, IplImage*, int) {
  if (!IsImage(image) || image->imageData == nullptr) {
    cvError(CV_StsNullPtr, "cvFlip", "Null pointer", __FILE__, __LINE__);
    return CV_StsNullPtr;
  }
  const size_t rowBytes = static_cast<size_t>(image->widthStep);
  char* scratch = static_cast<char*>(cvAlloc(rowBytes));
  if (scratch == nullptr) return CV_StsNoMem;
  for (int top = 0, bottom = image->height - 1; top < bottom; ++top, --bottom) {
    char* a = image->imageData + static_cast<size_t>(top) * rowBytes;
    char* b = image->imageData + static_cast<size_t>(bottom) * rowBytes;
    std::memcpy(scratch, a, rowBytes);
    std::memcpy(a, b, rowBytes);
    std::memcpy(b, scratch, rowBytes);
  }
  void* block = scratch;
  cvFree(&block);
  image->origin ^= 1;
  return CV_StsOk;
}

CvSize cvGetSize(const IplImage* image) {
  if (!IsImage(image)) {
    cvError(CV_StsBadArg, "cvGetSize", "Array should be CvMat or IplImage", __FILE__, __LINE__);
    return CvSize{0, 0};
  }
  return CvSize{image->width, image->height};
}

}  // namespace gq
