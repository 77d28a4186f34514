#include "loading/OpenCvHighGui/loadsave.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <opencv2/imgproc.hpp>
#include <random>
#include <thread>

#include "loading/LoadingTestSupport.h"

namespace gq {
namespace {

using testing::BoxRecorder;
using testing::Convert;
using testing::MaxDifference;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::TestPicture;
using testing::WriteBytes;

// An image of the layer holding a copy of a picture.
IplImage* ImageOf(const cv::Mat& picture) {
  IplImage* image =
      cvCreateImage(CvSize{picture.cols, picture.rows}, IPL_DEPTH_8U, picture.channels());
  for (int y = 0; y < picture.rows; ++y)
    std::memcpy(image->imageData + y * image->widthStep, picture.ptr(y),
                picture.cols * picture.elemSize());
  return image;
}

cv::Mat Gray(const cv::Mat& picture) {
  cv::Mat gray;
  cv::cvtColor(picture, gray, cv::COLOR_BGR2GRAY);
  return gray;
}

cv::Mat GrayAsColour(const cv::Mat& picture) {
  cv::Mat colour;
  cv::cvtColor(Gray(picture), colour, cv::COLOR_GRAY2BGR);
  return colour;
}

class LoadSave : public ::testing::Test {
 protected:
  ScratchFolder folder;
  BoxRecorder boxes;
  const cv::Mat picture = TestPicture(61, 47);  // odd width: rows need padding
};

TEST_F(LoadSave, EveryWriterRoundTrips) {
  IplImage* colour = ImageOf(picture);
  struct Case {
    const char* name;
    int tolerance;  // lossy formats
    bool gray;      // the format stores gray only
  };
  const Case cases[] = {{"a.bmp", 0, false},   {"a.DIB", 0, false},  {"a.jpg", 40, false},
                        {"a.jpeg", 40, false}, {"a.jpe", 40, false}, {"a.png", 0, false},
                        {"a.ppm", 0, false},   {"a.tif", 0, false},  {"a.tiff", 0, false},
                        {"a.ras", 0, false},   {"a.sr", 0, false}};
  for (const Case& c : cases) {
    const std::string path = folder.File(c.name);
    ASSERT_EQ(cvSaveImage(path.c_str(), colour), 1) << c.name;
    IplImage* loaded = cvLoadImage(path.c_str(), 1);
    ASSERT_NE(loaded, nullptr) << c.name;
    EXPECT_EQ(loaded->nChannels, 3);
    EXPECT_EQ(loaded->origin, IPL_ORIGIN_TL);
    EXPECT_LE(MaxDifference(loaded, c.gray ? GrayAsColour(picture) : picture), c.tolerance)
        << c.name;
    cvReleaseImage(&loaded);
  }
  cvReleaseImage(&colour);

  // Gray images: PGM, and the gray variants of the others.
  IplImage* gray = ImageOf(Gray(picture));
  for (const char* name : {"g.pgm", "g.png", "g.bmp", "g.tif"}) {
    const std::string path = folder.File(name);
    ASSERT_EQ(cvSaveImage(path.c_str(), gray), 1) << name;
    IplImage* loaded = cvLoadImage(path.c_str(), -1);
    ASSERT_NE(loaded, nullptr) << name;
    EXPECT_EQ(loaded->nChannels, 1) << name;
    EXPECT_EQ(MaxDifference(loaded, Gray(picture)), 0) << name;
    cvReleaseImage(&loaded);
  }
  cvReleaseImage(&gray);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(LoadSave, FilesWrittenByImageMagick) {
  const std::string source = folder.File("source.png");
  ASSERT_TRUE(cv::imwrite(source, picture));
  struct Case {
    std::vector<std::string> options;
    const char* name;
    int tolerance;
    bool gray;
  };
  const Case cases[] = {
      {{"-compress", "none"}, "ascii.ppm", 0, false},  // P3
      {{"-compress", "none"}, "ascii.pgm", 40, true},  // P2 (ImageMagick's own gray)
      {{"-compress", "none", "-threshold", "50%"}, "ascii.pbm", -1, true},  // P1
      {{}, "binary.ppm", 0, false},                                         // P6
      {{}, "binary.pgm", 40, true},                                         // P5
      {{"-threshold", "50%"}, "binary.pbm", -1, true},                      // P4
      {{}, "rgb24.ras", 0, false},                   // Sun raster type 3, 24 bits
      {{"-alpha", "on"}, "rgb32.ras", 0, false},     // type 3, 32 bits
      {{"-colors", "16"}, "mapped.ras", -1, false},  // 8 bits with a colour map
      {{}, "v5.bmp", 0, false},                      // BITMAPV5HEADER
      {{"-type", "Palette"}, "palette.bmp", -1, false},
      {{"-compress", "lzw"}, "lzw.tif", 0, false},
      {{"-colorspace", "Gray"}, "gray.tif", 40, true},
      {{"-type", "Palette"}, "palette.png", -1, false},
      {{"-interlace", "Plane", "-quality", "95"}, "progressive.jpg", 40, false},
  };
  for (const Case& c : cases) {
    const std::string path = folder.File(c.name);
    std::vector<std::string> args = {source};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(path);
    ASSERT_TRUE(Convert(args)) << c.name;
    IplImage* loaded = cvLoadImage(path.c_str(), 1);
    ASSERT_NE(loaded, nullptr) << c.name;
    EXPECT_EQ(loaded->width, 61) << c.name;
    EXPECT_EQ(loaded->height, 47) << c.name;
    if (c.tolerance >= 0) {
      EXPECT_LE(MaxDifference(loaded, c.gray ? GrayAsColour(picture) : picture), c.tolerance)
          << c.name;
    }
    cvReleaseImage(&loaded);

    // Asked for what the file holds: gray files give one channel.
    loaded = cvLoadImage(path.c_str(), -1);
    ASSERT_NE(loaded, nullptr) << c.name;
    if (std::string(c.name) != "mapped.ras" && std::string(c.name) != "palette.bmp" &&
        std::string(c.name) != "palette.png") {
      EXPECT_EQ(loaded->nChannels, c.gray ? 1 : 3) << c.name;
    }
    cvReleaseImage(&loaded);
  }
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(LoadSave, GrayRequestGivesOneChannel) {
  const std::string path = folder.File("c.png");
  ASSERT_TRUE(cv::imwrite(path, picture));
  IplImage* gray = cvLoadImage(path.c_str(), 0);
  ASSERT_NE(gray, nullptr);
  EXPECT_EQ(gray->nChannels, 1);
  EXPECT_EQ(gray->widthStep, 64);
  EXPECT_LE(MaxDifference(gray, Gray(picture)), 1);
  cvReleaseImage(&gray);
  // The Sun raster reader of our own converts the same way.
  const std::string ras = folder.File("c.ras");
  ASSERT_TRUE(Convert({path, ras}));
  gray = cvLoadImage(ras.c_str(), 0);
  ASSERT_NE(gray, nullptr);
  EXPECT_EQ(MaxDifference(gray, Gray(picture)), 0);
  cvReleaseImage(&gray);
}

TEST_F(LoadSave, TheSignatureChoosesTheCodecNotTheName) {
  const std::string jpeg = folder.File("real.jpg");
  ASSERT_TRUE(cv::imwrite(jpeg, picture));
  const std::string bytes = ReadBytes(jpeg);
  for (const char* name : {"disguised.bmp", "disguised.png", "no_extension"}) {
    WriteBytes(folder.File(name), bytes);
    IplImage* image = cvLoadImage(folder.File(name).c_str(), 1);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_LE(MaxDifference(image, picture), 40) << name;
    cvReleaseImage(&image);
  }
  // A format the codecs could read but that is not one of ours: none.
  const std::string webp = folder.File("a.webp");
  if (cv::imwrite(webp, picture)) {
    EXPECT_EQ(cvLoadImage(webp.c_str(), 1), nullptr);
  }
  WriteBytes(folder.File("a.gif"), "GIF89a\x01\x00\x01\x00\x00\x00\x00;");
  EXPECT_EQ(cvLoadImage(folder.File("a.gif").c_str(), 1), nullptr);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(LoadSave, DamagedJpegStartIsStillReadWhenNamedJpg) {
  const std::string jpeg = folder.File("real.jpg");
  ASSERT_TRUE(cv::imwrite(jpeg, picture));
  std::string bytes = ReadBytes(jpeg);
  bytes[2] = 0x00;  // the signature FF D8 FF no longer matches
  for (const char* name : {"damaged.jpg", "DAMAGED.JPG"}) {
    WriteBytes(folder.File(name), bytes);
    IplImage* image = cvLoadImage(folder.File(name).c_str(), 1);
    ASSERT_NE(image, nullptr) << name;
    EXPECT_LE(MaxDifference(image, picture), 40) << name;
    cvReleaseImage(&image);
  }
  for (const char* name : {"damaged.jpeg", "damaged.bmp", "damaged.jpg.png"}) {
    WriteBytes(folder.File(name), bytes);
    EXPECT_EQ(cvLoadImage(folder.File(name).c_str(), 1), nullptr) << name;
  }
  // Without the start-of-image marker the JPEG codec cannot read it either.
  bytes[0] = 'x';
  WriteBytes(folder.File("hopeless.jpg"), bytes);
  EXPECT_EQ(cvLoadImage(folder.File("hopeless.jpg").c_str(), 1), nullptr);
}

TEST_F(LoadSave, ExifOrientationTurnsThePictureUpright) {
  const std::string plain = folder.File("plain.jpg"), turned = folder.File("turned.jpg");
  ASSERT_TRUE(cv::imwrite(plain, picture));
  // An EXIF block with orientation 6 (turn clockwise to view) right after the start of
  // the image; the pixels stay as they are.
  const char exif[] = {'\xFF', '\xE1', 0, 34, 'E', 'x', 'i', 'f', 0,    0, 'I', 'I',
                       42,     0,      8, 0,  0,   0,   1,   0,   0x12, 1, 3,   0,
                       1,      0,      0, 0,  6,   0,   0,   0,   0,    0, 0,   0};
  std::string bytes = ReadBytes(plain);
  bytes.insert(2, exif, sizeof exif);
  WriteBytes(turned, bytes);
  IplImage* image = cvLoadImage(turned.c_str(), 1);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 47);
  EXPECT_EQ(image->height, 61);
  cv::Mat upright;
  cv::rotate(picture, upright, cv::ROTATE_90_CLOCKWISE);
  EXPECT_LE(MaxDifference(image, upright), 40);
  cvReleaseImage(&image);
}

TEST_F(LoadSave, MissingPathsAndFilesThatAreNotPictures) {
  EXPECT_EQ(cvLoadImage(nullptr, 1), nullptr);
  EXPECT_EQ(cvLoadImage("", 1), nullptr);
  ASSERT_EQ(boxes.boxes.size(), 2u);
  EXPECT_EQ(boxes.boxes[0].text, "null filename");
  EXPECT_EQ(boxes.boxes[0].caption, "cvLoadImage");
  EXPECT_EQ(cvGetErrStatus(), CV_StsNullPtr);
  boxes.boxes.clear();
  EXPECT_EQ(cvLoadImage(folder.File("absent.png").c_str(), 1), nullptr);
  EXPECT_EQ(cvLoadImage(folder.File("").c_str(), 1), nullptr);  // a folder
  const std::string pipe = folder.File("pipe.jpg");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(cvLoadImage(pipe.c_str(), 1), nullptr);  // does not wait for a writer
  EXPECT_TRUE(boxes.boxes.empty());
}

// Damaged copies of a valid file of each format: none of them may crash; empty and
// header-only files give none, and nothing raises a message box.
TEST_F(LoadSave, DamagedFilesOfEveryFormat) {
  const unsigned seed = 77;
  std::mt19937 random(seed);
  const cv::Mat big = TestPicture(160, 120);
  const std::string source = folder.File("big.png");
  ASSERT_TRUE(cv::imwrite(source, big));
  const std::vector<std::string> names = {"d.bmp", "d.jpg", "d.png", "d.ppm",  "d.pgm",
                                          "d.pbm", "d.tif", "d.ras", "d24.ras"};
  for (const std::string& name : names) {
    const std::string path = folder.File(name);
    if (name == "d24.ras" || name == "d.pbm" || name == "d.pgm")
      ASSERT_TRUE(Convert({source, path}));
    else
      ASSERT_TRUE(cv::imwrite(path, big));
    const std::string bytes = ReadBytes(path);
    const std::string damaged = folder.File("x_" + name);

    WriteBytes(damaged, "");
    EXPECT_EQ(cvLoadImage(damaged.c_str(), 1), nullptr) << name << " empty";
    WriteBytes(damaged, bytes.substr(0, 12));
    EXPECT_EQ(cvLoadImage(damaged.c_str(), 1), nullptr) << name << " header only";

    for (size_t keep : {bytes.size() / 2, bytes.size() - 1, size_t{40}}) {
      WriteBytes(damaged, bytes.substr(0, keep));
      IplImage* image = cvLoadImage(damaged.c_str(), 1);
      if (name == "d.jpg" && keep == bytes.size() / 2) {
        // A cut JPEG comes back whole-sized, as the codec delivers it.
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(image->width, 160);
      }
      cvReleaseImage(&image);
    }
    for (int round = 0; round < 20; ++round) {
      std::string noisy = bytes;
      std::uniform_int_distribution<size_t> at(0, std::min<size_t>(noisy.size() - 1, 200));
      for (int k = 0; k < 4; ++k) noisy[at(random)] = static_cast<char>(random());
      WriteBytes(damaged, noisy);
      IplImage* image = cvLoadImage(damaged.c_str(), 1);
      if (image) {
        EXPECT_GT(image->width, 0);
        EXPECT_TRUE(image->nChannels == 3);
      }
      cvReleaseImage(&image);
    }
  }
  // Damage can make a header declare a huge picture; then only the allocation messages
  // may appear.
  for (const MessageBoxRequest& box : boxes.boxes)
    EXPECT_TRUE(box.caption == "cvAlloc" || box.text == "Inner function failed.")
        << box.caption << ": " << box.text << " (seed " << seed << ")";
}

// Headers that declare 20000 x 20000 pixels (1.2 GB in colour): refused by the cvAlloc
// bound before any pixel memory exists.
TEST_F(LoadSave, DecompressionBombsAreRefused) {
  std::string bmp(54, '\0');
  bmp[0] = 'B';
  bmp[1] = 'M';
  auto put32 = [&bmp](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bmp[at + i] = static_cast<char>(v >> (8 * i));
  };
  put32(10, 54);
  put32(14, 40);
  put32(18, 20000);
  put32(22, 20000);
  bmp[26] = 1;
  bmp[28] = 24;
  const std::string files[][2] = {
      {"bomb.bmp", bmp + std::string(1000, '\x55')},
      {"bomb.ppm", "P6\n20000 20000\n255\n" + std::string(1000, '\x55')},
      {"bomb.pgm", "P5\n40000 30000\n255\n" + std::string(1000, '\x55')},
  };
  for (const auto& file : files) {
    boxes.boxes.clear();
    WriteBytes(folder.File(file[0]), file[1]);
    EXPECT_EQ(cvLoadImage(folder.File(file[0]).c_str(), 1), nullptr) << file[0];
    ASSERT_EQ(boxes.boxes.size(), 2u) << file[0];
    EXPECT_EQ(boxes.boxes[0].caption, "cvAlloc");
    EXPECT_EQ(boxes.boxes[1].text, "Inner function failed.");
    EXPECT_EQ(boxes.boxes[1].caption, "cvLoadImage");
    EXPECT_EQ(cvGetErrStatus(), CV_StsBackTrace);
  }
}

// A JPEG that declares width x height pixels of components 1x1-sampled components
// (progressive, or baseline with a first scan of scanned components) and holds only a
// few bytes of its first scan: the codec sets up buffers for the whole picture and fills
// in what the file lacks.
std::string JpegBomb(int width, int height, int components, bool progressive, int scanned) {
  std::string jpeg = "\xFF\xD8\xFF\xDB";
  jpeg += std::string("\x00\x43\x00", 3) + std::string(64, '\x01');
  jpeg += progressive ? "\xFF\xC2" : "\xFF\xC0";
  jpeg += {'\0', static_cast<char>(8 + 3 * components), 8};
  jpeg += {static_cast<char>(height >> 8), static_cast<char>(height), static_cast<char>(width >> 8),
           static_cast<char>(width), static_cast<char>(components)};
  for (int c = 1; c <= components; ++c) jpeg += {static_cast<char>(c), '\x11', '\0'};
  jpeg += std::string("\xFF\xC4\x00\x14\x00\x01", 6) + std::string(16, '\0');
  jpeg += "\xFF\xDA";
  jpeg += {'\0', static_cast<char>(6 + 2 * scanned), static_cast<char>(scanned)};
  for (int c = 1; c <= scanned; ++c) jpeg += {static_cast<char>(c), '\0'};
  jpeg += {'\0', static_cast<char>(progressive ? 0 : 63), '\0'};
  return jpeg + std::string(32, '\0') + "\xFF\xD9";
}

// A grey TIFF of width x height pixels in one deflate strip of a few bytes.
std::string OneStripTiff(uint32_t width, uint32_t height) {
  std::string tiff("II*\0\x08\0\0\0", 8);
  const uint32_t entries[][3] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                                 {259, 3, 8},     {262, 3, 1},      {273, 4, 0},
                                 {277, 3, 1},     {278, 4, height}, {279, 4, 64}};
  const uint32_t dataAt = 8 + 2 + 12 * 9 + 4;
  auto put = [&tiff](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) tiff += static_cast<char>(value >> (8 * i));
  };
  put(9, 2);
  for (const auto& [tag, type, value] : entries) {
    put(tag, 2);
    put(type, 2);
    put(1, 4);
    put(tag == 273 ? dataAt : value, 4);
  }
  put(0, 4);
  return tiff + std::string(64, '\x78');
}

// Tries to decode path in a child whose address space allows 512 MB more than it has
// mapped now; exits with 0 when the picture is refused with the cvAlloc bound's message
// (nothing allocated), 1 when it is decoded, 2 when decoding failed in another way.
[[noreturn]] void DecodeWithinMemoryLimit(const std::string& path, BoxRecorder& boxes) {
  long pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  const rlim_t limit = static_cast<rlim_t>(pages) * sysconf(_SC_PAGESIZE) + (rlim_t{512} << 20);
  const rlimit bound{limit, limit};
  setrlimit(RLIMIT_AS, &bound);
  boxes.boxes.clear();
  IplImage* image = cvLoadImage(path.c_str(), 1);
  const bool decoded = image != nullptr;
  cvReleaseImage(&image);
  const bool refused = !boxes.boxes.empty() && boxes.boxes[0].caption == "cvAlloc" &&
                       boxes.boxes[0].text == "Negative or too large argument of cvAlloc function";
  std::_Exit(decoded ? 1 : (refused ? 0 : 2));
}

// Small files whose decoding needs far more memory than their picture's buffer: the
// codec's working set counts against the bound, so they are refused before the codec
// runs; a picture whose working set is within it still decodes under the same limit.
TEST_F(LoadSave, BombsOfCodecWorkingMemoryAreRefused) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  struct Case {
    const char* name;
    std::string bytes;
    int exitCode;
  };
  const Case cases[] = {
      {"grey.jpg", JpegBomb(18000, 18000, 1, true, 1), 0},  // 0.97 GB picture, 0.65 GB more
      {"colour.jpg", JpegBomb(12000, 12000, 3, true, 3), 0},
      {"scans.jpg", JpegBomb(12000, 12000, 3, false, 1), 0},
      {"strip.tif", OneStripTiff(16000, 16000), 0},  // 0.77 GB picture, 1.28 GB more
      {"fits.jpg", JpegBomb(6000, 6000, 1, true, 1), 1},
  };
  for (const Case& c : cases) {
    const std::string path = folder.File(c.name);
    WriteBytes(path, c.bytes);
    EXPECT_EXIT(DecodeWithinMemoryLimit(path, boxes), ::testing::ExitedWithCode(c.exitCode), "")
        << c.name;
  }
}

TEST_F(LoadSave, SaveChecks) {
  IplImage* image = ImageOf(picture);
  EXPECT_EQ(cvSaveImage(nullptr, image), 0);
  EXPECT_EQ(cvSaveImage(folder.File("x.gif").c_str(), image), 0);
  EXPECT_EQ(cvSaveImage(folder.File("no/such/folder/x.png").c_str(), image), 0);
  IplImage* four = cvCreateImage(CvSize{4, 4}, IPL_DEPTH_8U, 4);
  EXPECT_EQ(cvSaveImage(folder.File("four.png").c_str(), four), 0);
  ASSERT_EQ(boxes.boxes.size(), 4u);
  EXPECT_EQ(boxes.boxes[0].text, "null filename");
  EXPECT_EQ(boxes.boxes[1].text, "could not find a filter for the specified extension");
  EXPECT_EQ(boxes.boxes[2].text, "could not save the image");
  EXPECT_EQ(boxes.boxes[3].text, "");
  EXPECT_EQ(boxes.boxes[3].caption, "cvSaveImage");
  EXPECT_EQ(cvGetErrStatus(), CV_BadNumChannels);
  cvReleaseImage(&four);

  // An image stored bottom row first is written upright and stays as it was.
  cvFlip(image, nullptr, 0);
  const std::string before(image->imageData, image->imageSize);
  const std::string path = folder.File("upright.png");
  ASSERT_EQ(cvSaveImage(path.c_str(), image), 1);
  EXPECT_EQ(std::string(image->imageData, image->imageSize), before);
  EXPECT_EQ(image->origin, IPL_ORIGIN_BL);
  IplImage* loaded = cvLoadImage(path.c_str(), 1);
  EXPECT_EQ(MaxDifference(loaded, picture), 0);
  cvReleaseImage(&loaded);
  cvReleaseImage(&image);
}

TEST_F(LoadSave, ThreadsDecodeAtTheSameTime) {
  const std::string a = folder.File("t.jpg"), b = folder.File("t.ras");
  ASSERT_TRUE(cv::imwrite(a, picture));
  ASSERT_TRUE(Convert({a, b}));
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 25; ++i) {
        IplImage* image = cvLoadImage((t % 2 ? a : b).c_str(), 1);
        if (image == nullptr || MaxDifference(image, picture) > 40) ++failures;
        cvReleaseImage(&image);
      }
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
}  // namespace gq
