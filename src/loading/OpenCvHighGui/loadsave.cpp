#include "loading/OpenCvHighGui/loadsave.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <string_view>
#include <vector>

#include "base/Text.h"
#include "loading/OpenCvHighGui/decode_memory.h"
#include "loading/OpenCvHighGui/picture_header.h"
#include "loading/OpenCvHighGui/sunraster_rgb.h"
#include "platform/FullTransfer.h"

namespace gq {
namespace {

// A read buffer larger than this is given back after use instead of being kept.
constexpr size_t kKeptReadBuffer = size_t{64} << 20;

// Reads on at *got until size bytes are there or the file ends; true when any byte is.
bool ReadFully(int fd, uint8_t* out, size_t size, size_t* got) {
  *got += ReadUpTo(fd, out + *got, size - *got);
  return *got > 0;
}

// Reads a regular file into bytes. The first kLongestSignature bytes decide whether the
// rest is worth reading: a file that no format takes (and that the ".jpg" fallback does
// not cover) is never read completely. Opening does not block on a named pipe.
bool ReadPictureFile(const char* path, bool jpegFallback, std::vector<uint8_t>* bytes) {
  const int fd = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0 &&
            info.st_size <= INT32_MAX;
  size_t got = 0;
  if (ok) {
    bytes->resize(static_cast<size_t>(info.st_size));
    ok = ReadFully(fd, bytes->data(), std::min(kLongestSignature, bytes->size()), &got) &&
         (jpegFallback || FormatBySignature(bytes->data(), got) != PictureFormat::kNone) &&
         ReadFully(fd, bytes->data(), bytes->size(), &got);
    bytes->resize(got);  // a file that shrank while being read gives what it had
  }
  close(fd);
  return ok;
}

// Lets the codec allocate the picture straight in the image layer's memory with the
// layer's row alignment, so the decoded buffer becomes the image without a copy. When it
// refuses, OpenCV falls back to its own allocator and the picture is copied (and bounded)
// afterwards; gigantic pictures never get this far, they are refused by their header.
class ImageLayerAllocator : public cv::MatAllocator {
 public:
  cv::UMatData* allocate(int dims, const int* sizes, int type, void* data, size_t* step,
                         cv::AccessFlag, cv::UMatUsageFlags) const override {
    if (dims != 2 || data != nullptr) throw std::bad_alloc();
    const size_t element = CV_ELEM_SIZE(type);
    const uint64_t rowStep = (static_cast<uint64_t>(sizes[1]) * element + 3) & ~uint64_t{3};
    const uint64_t total = rowStep * static_cast<uint64_t>(sizes[0]);
    // cvAlloc refuses (and reports) anything above its bound.
    void* block = cvAlloc(total > kMaxAllocation ? kMaxAllocation + 1 : total);
    if (block == nullptr) throw std::bad_alloc();
    step[1] = element;
    step[0] = rowStep;
    cv::UMatData* u = new cv::UMatData(this);
    u->data = u->origdata = static_cast<uchar*>(block);
    u->size = total;
    return u;
  }

  bool allocate(cv::UMatData*, cv::AccessFlag, cv::UMatUsageFlags) const override { return false; }

  void deallocate(cv::UMatData* u) const override {
    if (u == nullptr) return;
    // A buffer handed over to an image is owned by the image from then on.
    if (!(u->flags & cv::UMatData::USER_ALLOCATED)) {
      void* block = u->origdata;
      cvFree(&block);
    }
    delete u;
  }
};

const ImageLayerAllocator& Allocator() {
  static const ImageLayerAllocator allocator;
  return allocator;
}

// An image of the layer around a buffer that ImageLayerAllocator made for mat.
IplImage* AdoptMat(cv::Mat& mat) {
  IplImage* image = cvCreateImageHeader(CvSize{mat.cols, mat.rows}, IPL_DEPTH_8U, mat.channels());
  if (image == nullptr) return nullptr;
  mat.u->flags |= cv::UMatData::USER_ALLOCATED;
  image->imageData = image->imageDataOrigin = reinterpret_cast<char*>(mat.u->origdata);
  return image;
}

// A copy into a new image of the layer, for a picture the codec put in memory of its own
// (after turning it upright by its EXIF orientation).
IplImage* CopyMat(const cv::Mat& mat) {
  IplImage* image = cvCreateImage(CvSize{mat.cols, mat.rows}, IPL_DEPTH_8U, mat.channels());
  if (image == nullptr) return nullptr;
  const size_t rowBytes = mat.cols * mat.elemSize();
  for (int y = 0; y < mat.rows; ++y)
    std::memcpy(image->imageData + static_cast<size_t>(y) * image->widthStep, mat.ptr(y), rowBytes);
  return image;
}

void InnerFunctionFailed() {
  cvError(CV_StsBackTrace, "cvLoadImage", "Inner function failed.", __FILE__, __LINE__);
}

// Decodes with OpenCV's codec for the data's signature. The flags keep 8 bits per sample.
IplImage* DecodeWithCodec(const std::vector<uint8_t>& bytes, int iscolor) {
  const int flags =
      iscolor > 0 ? cv::IMREAD_COLOR : (iscolor == 0 ? cv::IMREAD_GRAYSCALE : cv::IMREAD_ANYCOLOR);
  cv::Mat decoded;
  decoded.allocator = const_cast<ImageLayerAllocator*>(&Allocator());
  try {
    const cv::Mat buffer(1, static_cast<int>(bytes.size()), CV_8UC1,
                         const_cast<uint8_t*>(bytes.data()));
    cv::imdecode(buffer, flags, &decoded);
  } catch (const std::bad_alloc&) {
    InnerFunctionFailed();
    return nullptr;
  } catch (const std::exception&) {
    // Some codecs throw on damaged data instead of failing.
    return nullptr;
  }
  if (decoded.empty() || decoded.depth() != CV_8U ||
      (decoded.channels() != 1 && decoded.channels() != 3))
    return nullptr;
  IplImage* image = decoded.u != nullptr && decoded.u->currAllocator == &Allocator()
                        ? AdoptMat(decoded)
                        : CopyMat(decoded);
  if (image == nullptr) InnerFunctionFailed();
  return image;
}

// The reader of our own for Sun raster type 3, which the installed codec claims but
// returns nothing for.
IplImage* DecodeSunRasterRgbFile(const std::vector<uint8_t>& bytes, int width, int height,
                                 int iscolor) {
  // Type 3 with 24 or 32 bits is always a colour picture.
  const int channels = iscolor == 0 ? 1 : 3;
  IplImage* image = cvCreateImage(CvSize{width, height}, IPL_DEPTH_8U, channels);
  if (image == nullptr) {
    InnerFunctionFailed();
    return nullptr;
  }
  bool ok;
  if (channels == 3) {
    ok = DecodeSunRasterRgb(bytes.data(), bytes.size(), width, height,
                            reinterpret_cast<uint8_t*>(image->imageData), image->widthStep);
  } else {
    try {
      cv::Mat bgr(height, width, CV_8UC3);
      ok = DecodeSunRasterRgb(bytes.data(), bytes.size(), width, height, bgr.data, bgr.step);
      cv::Mat gray(height, width, CV_8UC1, image->imageData, image->widthStep);
      if (ok) cv::cvtColor(bgr, gray, cv::COLOR_BGR2GRAY);
    } catch (const std::exception&) {
      ok = false;
    }
  }
  if (!ok) cvReleaseImage(&image);
  return image;
}

bool EndsWithJpg(const char* path) {
  const std::string_view text(path);
  return text.size() > 4 && EndsWithNoCase(text, ".jpg");
}

}  // namespace

IplImage* cvLoadImage(const char* filename, int iscolor) {
  if (filename == nullptr || *filename == '\0') {
    cvError(CV_StsNullPtr, "cvLoadImage", "null filename", __FILE__, __LINE__);
    return nullptr;
  }
  thread_local std::vector<uint8_t> t_bytes;
  struct ShrinkAfterUse {
    ~ShrinkAfterUse() {
      if (t_bytes.capacity() > kKeptReadBuffer) std::vector<uint8_t>().swap(t_bytes);
    }
  } shrink;

  const bool jpegFallback = EndsWithJpg(filename);
  if (!ReadPictureFile(filename, jpegFallback, &t_bytes)) return nullptr;
  const PictureFormat format = FormatBySignature(t_bytes.data(), t_bytes.size());
  if (format == PictureFormat::kNone) {
    // No signature matched but the name ends in ".jpg": hand the data to the JPEG codec
    // anyway. The codec itself only needs the start-of-image marker and skips damaged
    // bytes up to the next marker; a stuffed "FF 00" after that marker gives it the
    // signature it selects by and is skipped the same way.
    if (!jpegFallback || t_bytes.size() < 2 || t_bytes[0] != 0xFF || t_bytes[1] != 0xD8)
      return nullptr;
    static constexpr uint8_t kResync[2] = {0xFF, 0x00};
    t_bytes.insert(t_bytes.begin() + 2, kResync, kResync + 2);
  }
  PictureHeader header;
  if (!ProbeHeader(format == PictureFormat::kNone ? PictureFormat::kJpeg : format, t_bytes.data(),
                   t_bytes.size(), &header))
    return nullptr;
  // The picture's buffer and the codec's working memory together must be within
  // cvAlloc's bound before the codec runs: a file that declares a gigantic picture, or
  // one whose decoding needs gigantic buffers, is refused here without allocating
  // anything.
  const uint64_t channels = iscolor > 0 ? 3 : (iscolor == 0 ? 1 : (header.colour ? 3 : 1));
  const uint64_t rowStep = (static_cast<uint64_t>(header.width) * channels + 3) & ~uint64_t{3};
  const uint64_t pictureBytes = rowStep * static_cast<uint64_t>(header.height);
  const uint64_t workingSet = pictureBytes + header.workingBytes;
  if (workingSet > kMaxAllocation) {
    cvAlloc(workingSet);
    InnerFunctionFailed();
    return nullptr;
  }
  DecodeMemory().Reserve(workingSet);
  IplImage* image = nullptr;
  int width, height;
  if (format == PictureFormat::kSunRaster &&
      IsSunRasterRgb(t_bytes.data(), t_bytes.size(), &width, &height))
    image = DecodeSunRasterRgbFile(t_bytes, width, height, iscolor);
  else
    image = DecodeWithCodec(t_bytes, iscolor);
  const bool kept = image != nullptr && DecodeMemoryHold::Keep(pictureBytes);
  DecodeMemory().Release(kept ? workingSet - pictureBytes : workingSet);
  return image;
}

int cvSaveImage(const char* filename, const IplImage* image) {
  if (filename == nullptr || *filename == '\0') {
    cvError(CV_StsNullPtr, "cvSaveImage", "null filename", __FILE__, __LINE__);
    return 0;
  }
  if (image == nullptr || image->nSize != static_cast<int>(sizeof(IplImage)) ||
      image->imageData == nullptr || image->depth != IPL_DEPTH_8U ||
      (image->nChannels != 1 && image->nChannels != 3)) {
    cvError(CV_BadNumChannels, "cvSaveImage", "", __FILE__, __LINE__);
    return 0;
  }
  if (FormatByExtension(filename) == PictureFormat::kNone) {
    cvError(CV_StsError, "cvSaveImage", "could not find a filter for the specified extension",
            __FILE__, __LINE__);
    return 0;
  }
  bool written = false;
  try {
    const cv::Mat stored(image->height, image->width, CV_8UC(image->nChannels), image->imageData,
                         image->widthStep);
    if (image->origin == IPL_ORIGIN_BL) {
      // Written upright through a flipped copy; the caller's image stays as it is.
      cv::Mat upright;
      cv::flip(stored, upright, 0);
      written = cv::imwrite(filename, upright);
    } else {
      written = cv::imwrite(filename, stored);
    }
  } catch (const std::exception&) {
    written = false;
  }
  if (!written) {
    cvError(CV_StsError, "cvSaveImage", "could not save the image", __FILE__, __LINE__);
    return 0;
  }
  return 1;
}

}  // namespace gq
