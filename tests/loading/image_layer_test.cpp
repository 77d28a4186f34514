#include <gtest/gtest.h>

#include <cstring>

#include "loading/LoadingTestSupport.h"
#include "loading/OpenCvHighGui/opencv_stubs.h"

namespace gq {
namespace {

using testing::BoxRecorder;

TEST(ImageLayer, CreatedImagesHaveTheClassicHeader) {
  BoxRecorder boxes;
  IplImage* image = cvCreateImage(CvSize{5, 3}, IPL_DEPTH_8U, 3);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->nSize, static_cast<int>(sizeof(IplImage)));
  EXPECT_EQ(image->widthStep, 16);  // 15 bytes rounded up to 4
  EXPECT_EQ(image->imageSize, 48);
  EXPECT_EQ(image->origin, IPL_ORIGIN_TL);
  EXPECT_EQ(image->align, 4);
  EXPECT_EQ(std::string(image->colorModel, 3), "RGB");
  EXPECT_EQ(std::string(image->channelSeq, 3), "BGR");
  EXPECT_EQ(image->imageData, image->imageDataOrigin);
  const CvSize size = cvGetSize(image);
  EXPECT_EQ(size.width, 5);
  EXPECT_EQ(size.height, 3);
  cvReleaseImage(&image);
  EXPECT_EQ(image, nullptr);
  cvReleaseImage(&image);  // a pointer to none does nothing

  image = cvCreateImage(CvSize{3, 2}, IPL_DEPTH_8U, 1);
  EXPECT_EQ(std::string(image->colorModel, 4), "GRAY");
  EXPECT_EQ(image->widthStep, 4);
  cvReleaseImage(&image);
  IplImage header;
  ASSERT_NE(cvInitImageHeader(&header, CvSize{7, 1}, IPL_DEPTH_16S, 4, IPL_ORIGIN_BL, 8), nullptr);
  EXPECT_EQ(header.widthStep, 56);
  EXPECT_EQ(std::string(header.channelSeq, 4), "BGRA");
  ASSERT_NE(cvInitImageHeader(&header, CvSize{9, 1}, IPL_DEPTH_1U, 1, IPL_ORIGIN_TL, 4), nullptr);
  EXPECT_EQ(header.widthStep, 4);  // 9 bits
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST(ImageLayer, HeaderChecksReportTheirMessage) {
  struct Case {
    CvSize size;
    int depth, channels, origin, align;
    const char* message;
    int status;
  };
  const Case cases[] = {
      {{-1, 2}, 8, 3, 0, 4, "Bad input roi", CV_BadROISize},
      {{2, 2}, 12, 3, 0, 4, "Unsupported format", CV_BadDepth},
      {{2, 2}, 8, -1, 0, 4, "Unsupported format", CV_BadDepth},
      {{2, 2}, 8, 3, 2, 4, "Bad input origin", CV_BadOrigin},
      {{2, 2}, 8, 3, 0, 16, "Bad input align", CV_BadAlign},
      {{0x7FFFFFFF, 2}, 64, 3, 0, 4, "Overflow for imageSize", CV_StsNoMem},
  };
  for (const Case& c : cases) {
    BoxRecorder boxes;
    IplImage header;
    EXPECT_EQ(cvInitImageHeader(&header, c.size, c.depth, c.channels, c.origin, c.align), nullptr);
    ASSERT_EQ(boxes.boxes.size(), 1u) << c.message;
    EXPECT_EQ(boxes.boxes[0].text, c.message);
    EXPECT_EQ(boxes.boxes[0].caption, "cvInitImageHeader");
    EXPECT_EQ(boxes.boxes[0].flags & MB_ICONERROR, MB_ICONERROR);
    EXPECT_EQ(cvGetErrStatus(), c.status);
    EXPECT_EQ(cvGetErrStatus(), 0);  // reading clears it
  }
}

TEST(ImageLayer, AllocationBounds) {
  BoxRecorder boxes;
  EXPECT_EQ(cvAlloc(kMaxAllocation + 1), nullptr);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, "cvAlloc");
  EXPECT_EQ(boxes.boxes[0].text, "Negative or too large argument of cvAlloc function");
  EXPECT_EQ(cvGetErrStatus(), CV_StsOutOfRange);
  EXPECT_EQ(cvAlloc(static_cast<size_t>(-1)), nullptr);  // a "negative" size

  // An image of more than 1 GiB fails with the cvAlloc message and allocates nothing.
  boxes.boxes.clear();
  EXPECT_EQ(cvCreateImage(CvSize{20000, 20000}, IPL_DEPTH_8U, 3), nullptr);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].caption, "cvAlloc");
  EXPECT_EQ(cvGetErrStatus(), CV_StsOutOfRange);

  boxes.boxes.clear();
  cvFree(nullptr);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Null double pointer is passed");
  EXPECT_EQ(cvGetErrStatus(), CV_StsNullPtr);
  void* block = cvAlloc(10);
  ASSERT_NE(block, nullptr);
  cvFree(&block);
  EXPECT_EQ(block, nullptr);
  cvFree(&block);  // freeing none is fine
  cvReleaseImage(nullptr);
  EXPECT_EQ(cvGetErrStatus(), CV_StsNullPtr);
}

TEST(ImageLayer, ForeignHeadersAreRejected) {
  BoxRecorder boxes;
  IplImage image;
  ASSERT_NE(cvInitImageHeader(&image, CvSize{2, 2}, IPL_DEPTH_8U, 1, 0, 4), nullptr);
  image.nSize = 12;
  cvCreateData(&image);
  EXPECT_EQ(image.imageData, nullptr);
  cvReleaseData(&image);
  const CvSize size = cvGetSize(&image);
  EXPECT_EQ(size.width, 0);
  ASSERT_EQ(boxes.boxes.size(), 3u);
  EXPECT_EQ(boxes.boxes[0].text, "unrecognized or unsupported array type");
  EXPECT_EQ(boxes.boxes[0].caption, "cvCreateData");
  EXPECT_EQ(boxes.boxes[1].caption, "cvReleaseData");
  EXPECT_EQ(boxes.boxes[2].text, "Array should be CvMat or IplImage");
  EXPECT_EQ(cvGetErrStatus(), CV_StsBadArg);

  boxes.boxes.clear();
  image.nSize = sizeof(IplImage);
  cvCreateData(&image);
  ASSERT_NE(image.imageData, nullptr);
  char* first = image.imageData;
  cvCreateData(&image);
  EXPECT_EQ(image.imageData, first);
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Data is already allocated");
  EXPECT_EQ(cvGetErrStatus(), CV_StsError);
  cvReleaseData(&image);
  EXPECT_EQ(image.imageData, nullptr);
}

TEST(ImageLayer, FlipSwapsRowsAndTogglesTheOrigin) {
  for (int height : {1, 4, 5}) {
    IplImage* image = cvCreateImage(CvSize{3, height}, IPL_DEPTH_8U, 3);
    for (int y = 0; y < height; ++y)
      std::memset(image->imageData + y * image->widthStep, y + 1, image->widthStep);
    ASSERT_EQ(cvFlip(image, nullptr, 0), CV_StsOk);
    for (int y = 0; y < height; ++y)
      EXPECT_EQ(image->imageData[y * image->widthStep + 5], height - y) << height << " " << y;
    EXPECT_EQ(image->origin, IPL_ORIGIN_BL);
    cvFlip(image, nullptr, 0);
    EXPECT_EQ(image->origin, IPL_ORIGIN_TL);
    EXPECT_EQ(image->imageData[0], 1);
    cvReleaseImage(&image);
  }
}

TEST(ImageLayer, LargeBuffersAreReusedOnTheSameThread) {
  SetPictureBufferReuse(true);
  IplImage* a = cvCreateImage(CvSize{1000, 1000}, IPL_DEPTH_8U, 3);
  char* first = a->imageData;
  cvReleaseImage(&a);
  IplImage* b = cvCreateImage(CvSize{900, 1000}, IPL_DEPTH_8U, 3);  // smaller fits
  EXPECT_EQ(b->imageData, first);
  IplImage* c = cvCreateImage(CvSize{1000, 1000}, IPL_DEPTH_8U, 3);  // b holds it
  EXPECT_NE(c->imageData, first);
  cvReleaseImage(&b);
  cvReleaseImage(&c);
  SetPictureBufferReuse(false);
  SetPictureBufferReuse(true);
}

}  // namespace
}  // namespace gq
