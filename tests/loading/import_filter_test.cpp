#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <mutex>

#include "frame/Settings.h"
#include "loading/ImportFilter.h"
#include "loading/LoadPicture.h"
#include "loading/LoadingTestSupport.h"
#include "loading/OpenCvHighGui/loadsave.h"

namespace gq {
namespace {

using testing::BoxRecorder;
using testing::Convert;
using testing::MaxDifference;
using testing::ReadBytes;
using testing::ScratchFolder;
using testing::TestPicture;
using testing::WriteBytes;

TEST(ExtensionInTypeList, WordsMatchWholeExtensionsWithoutCase) {
  EXPECT_TRUE(ExtensionInTypeList("/p/a.gif", "gif tif"));
  EXPECT_TRUE(ExtensionInTypeList("/p/a.TIF", "gif tif"));
  EXPECT_TRUE(ExtensionInTypeList("/p/a.tif", "gif TIF "));  // a trailing space is harmless
  EXPECT_TRUE(ExtensionInTypeList("/p/a.b.raw", "cr2 raw"));
  EXPECT_TRUE(ExtensionInTypeList("/p/a.ÄRW", "ärw"));
  EXPECT_FALSE(ExtensionInTypeList("/p/a.jpg", "jp"));
  EXPECT_FALSE(ExtensionInTypeList("/p/a.jp", "jpg"));
  EXPECT_FALSE(ExtensionInTypeList("/p/a.jpg", "gif tif"));
  EXPECT_FALSE(ExtensionInTypeList("/p/noextension", "gif noextension"));
  // The only dot lies in a folder name: the extension "pics/scan" matches no word.
  EXPECT_FALSE(ExtensionInTypeList("/home/me/my.pics/scan", "pics scan"));
  EXPECT_FALSE(ExtensionInTypeList("/p/a.gif", ""));
}

TEST(NormaliseTypeList, SeparatorsBecomeSingleSpaces) {
  EXPECT_EQ(NormaliseTypeList("  *.gif; .TIF,\t jpg"), "gif TIF jpg");
  EXPECT_EQ(NormaliseTypeList("a\\b/c:d*e?f\"g<h>i|j.k,l;m"), "a b c d e f g h i j k l m");
  EXPECT_EQ(NormaliseTypeList("raw  "), "raw ");
  EXPECT_EQ(NormaliseTypeList(" ;;. "), "");
}

TEST(ExpandImportCommand, PlaceholdersOtherPercentsAndTheCut) {
  EXPECT_EQ(ExpandImportCommand("conv \"%1\" -x %1 %3 \"%2\" 50%", "/a b.gif", "/t/tmp.bmp"),
            "conv \"/a b.gif\" -x /a b.gif %3 \"/t/tmp.bmp\" 50%");
  EXPECT_EQ(ExpandImportCommand("%%1", "p", "q"), "%p");
  const std::string longTemplate(2000, 'a');
  EXPECT_EQ(ExpandImportCommand(longTemplate, "p", "q").size(), kMaxImportCommandText);
  const std::string longPath(1100, 'p');
  const std::string cut = ExpandImportCommand("c %1 %2", longPath, "q");
  EXPECT_EQ(cut, "c " + longPath.substr(0, kMaxImportCommandText - 2));
}

class ImportFilter : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(cv::imwrite(folder.File("source.png"), picture));
    ASSERT_TRUE(Convert({folder.File("source.png"), gif}));
    // A converter that notes each run and then converts with ImageMagick.
    log = folder.File("runs.log");
    recorder = MakeScript("recorder.sh",
                          "echo run >> '" + log + "'\nexec /usr/bin/convert \"$1\" \"$2\"\n");
    SetImportFilterTimeLimit(60000);
  }
  void TearDown() override {
    SetImportFilterTimeLimit(60000);
    SetSettings("", "");
  }

  std::string MakeScript(const std::string& name, const std::string& body) {
    const std::string path = folder.File(name);
    WriteBytes(path, "#!/bin/sh\n" + body);
    chmod(path.c_str(), 0700);
    return path;
  }
  static void SetSettings(const std::string& command, const std::string& types) {
    std::lock_guard<std::mutex> lock(ImportFilterLock());
    g_settings.importCommand = command;
    g_settings.importTypes = types;
  }
  size_t Runs() const {
    const std::string text = ReadBytes(log);
    return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  }

  ScratchFolder folder;
  BoxRecorder boxes;
  const cv::Mat picture = TestPicture(40, 30);
  const std::string gif = folder.File("picture.gif");
  std::string log, recorder;
};

TEST_F(ImportFilter, ConvertsWithImageMagickAndCleansUp) {
  std::string command;
  IplImage* image = RunImportFilter(gif.c_str(), 1, "/usr/bin/convert \"%1\" \"%2\"", &command);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 40);
  EXPECT_LE(MaxDifference(image, picture), 40);  // GIF keeps at most 256 colours
  cvReleaseImage(&image);
  EXPECT_EQ(command.rfind("/usr/bin/convert \"" + gif + "\" \"", 0), 0u) << command;
  EXPECT_NE(command.find("/import"), std::string::npos);
  EXPECT_EQ(command.substr(command.size() - 9), "/tmp.bmp\"");
  EXPECT_EQ(folder.LeftInTmp(), 0u);
}

TEST_F(ImportFilter, PathsReachTheConverterAsOneArgumentUninterpreted) {
  const std::string name = "a b \"q\" $HOME `touch pwned` 'x'\nline; rm -rf x.gif";
  const std::string path = folder.File(name);
  WriteBytes(path, ReadBytes(gif));
  IplImage* image = RunImportFilter(path.c_str(), 1, "/usr/bin/convert \"%1\" \"%2\"", nullptr);
  ASSERT_NE(image, nullptr);
  cvReleaseImage(&image);
  EXPECT_FALSE(std::filesystem::exists("pwned"));
  EXPECT_FALSE(std::filesystem::exists(folder.File("pwned")));
  EXPECT_EQ(folder.LeftInTmp(), 0u);
}

TEST_F(ImportFilter, FailingSilentAndHangingConvertersGiveNothing) {
  const std::string garbage = MakeScript("garbage.sh", "echo nonsense > \"$2\"\n");
  const std::string extra =
      MakeScript("extra.sh", "mkdir \"$2.d\"; touch \"$2.d/x\" \"$2-0.bmp\"\n");
  const std::string hang = MakeScript("hang.sh", "sleep 30\n");
  for (const std::string& command :
       {std::string("/bin/false %1 %2"), std::string("/no/such/program %1 %2"),
        "'" + garbage + "' %1 %2", extra + " %1 %2", std::string(""), std::string("   ")}) {
    EXPECT_EQ(RunImportFilter(gif.c_str(), 1, command, nullptr), nullptr) << command;
    EXPECT_EQ(folder.LeftInTmp(), 0u) << command;
  }
  SetImportFilterTimeLimit(300);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunImportFilter(gif.c_str(), 1, hang + " %1 %2", nullptr), nullptr);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(folder.LeftInTmp(), 0u);
  EXPECT_TRUE(boxes.boxes.empty());
}

TEST_F(ImportFilter, WithoutACommandOnlyTheCodecsRead) {
  SetSettings("", "gif");
  EXPECT_EQ(LoadPicture(gif.c_str(), 1), nullptr);
  const std::string png = folder.File("source.png");
  IplImage* image = LoadPicture(png.c_str(), 1);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(MaxDifference(image, picture), 0);
  cvReleaseImage(&image);
}

TEST_F(ImportFilter, WithoutATypeListTheConverterIsTheFallback) {
  SetSettings(recorder + " \"%1\" \"%2\"", "");
  const std::string jpeg = folder.File("valid.jpg");
  ASSERT_TRUE(cv::imwrite(jpeg, picture));
  IplImage* image = LoadPicture(jpeg.c_str(), 1);
  ASSERT_NE(image, nullptr);
  cvReleaseImage(&image);
  EXPECT_EQ(Runs(), 0u);
  image = LoadPicture(gif.c_str(), 1);
  ASSERT_NE(image, nullptr);
  cvReleaseImage(&image);
  EXPECT_EQ(Runs(), 1u);
  EXPECT_EQ(LoadPicture(folder.File("absent.xyz").c_str(), 1), nullptr);
  EXPECT_EQ(Runs(), 2u);
}

TEST_F(ImportFilter, ListedTypesGoToTheConverterFirst) {
  const std::string failing = MakeScript("failing.sh", "echo run >> '" + log + "'\nexit 1\n");
  SetSettings(failing + " %1 %2", "gif tif");
  // An upper-case TIF goes to the converter first; when that fails the codec reads it.
  const std::string tif = folder.File("scan.TIF");
  ASSERT_TRUE(cv::imwrite(folder.File("scan.tif"), picture));
  std::filesystem::rename(folder.File("scan.tif"), tif);
  IplImage* image = LoadPicture(tif.c_str(), 1);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(MaxDifference(image, picture), 0);
  cvReleaseImage(&image);
  EXPECT_EQ(Runs(), 1u);
  // An unlisted extension never starts the converter, even when the codec fails.
  WriteBytes(folder.File("broken.jpg"), "not a picture");
  EXPECT_EQ(LoadPicture(folder.File("broken.jpg").c_str(), 1), nullptr);
  EXPECT_EQ(Runs(), 1u);
  // A listed file the converter can read comes from the converter.
  SetSettings(recorder + " %1 %2", "gif tif");
  image = LoadPicture(gif.c_str(), 1);
  ASSERT_NE(image, nullptr);
  cvReleaseImage(&image);
  EXPECT_EQ(Runs(), 2u);
}

TEST_F(ImportFilter, TheDialogTest) {
  std::string types = "*.gif; .TIF,  raw";
  EXPECT_TRUE(TestImportFilter(&types, "/usr/bin/convert \"%1\" \"%2\""));
  EXPECT_EQ(types, "gif TIF raw");
  ASSERT_EQ(boxes.boxes.size(), 1u);
  EXPECT_EQ(boxes.boxes[0].text, "Test OK");
  EXPECT_EQ(boxes.boxes[0].caption, "GlimmerQuorum");
  EXPECT_EQ(boxes.boxes[0].flags & 0xF0, MB_ICONINFORMATION);

  boxes.boxes.clear();
  EXPECT_FALSE(TestImportFilter(&types, "/bin/false \"%1\" \"%2\""));
  ASSERT_EQ(boxes.boxes.size(), 1u);
  const std::string& text = boxes.boxes[0].text;
  const std::string head =
      "Test failed.\n\nUsed 32x32 picture of type PPM (ASCII).\n\nCommand was:\n\n/bin/false \"";
  EXPECT_EQ(text.substr(0, head.size()), head);
  EXPECT_NE(text.find("/t e s t.ppm\" \""), std::string::npos) << text;
  EXPECT_EQ(boxes.boxes[0].flags & 0xF0, MB_ICONERROR);
  EXPECT_EQ(folder.LeftInTmp(), 0u);
}

TEST_F(ImportFilter, TheTestPictureIsOrange) {
  // The converter copies the test picture's PPM next to the log, so its pixels show.
  const std::string keep = folder.File("kept.ppm");
  const std::string copier =
      MakeScript("copier.sh", "cp \"$1\" '" + keep + "'\nexec /usr/bin/convert \"$1\" \"$2\"\n");
  std::string types;
  ASSERT_TRUE(TestImportFilter(&types, copier + " %1 %2"));
  const std::string ppm = ReadBytes(keep);
  EXPECT_EQ(ppm.substr(0, 13), "P3\n32 32\n255\n");
  EXPECT_EQ(ppm.size(), 13u + 1024 * 8);
  IplImage* image = cvLoadImage(keep.c_str(), 1);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->width, 32);
  EXPECT_EQ(static_cast<uint8_t>(image->imageData[0]), 0);    // blue
  EXPECT_EQ(static_cast<uint8_t>(image->imageData[1]), 9);    // green
  EXPECT_EQ(static_cast<uint8_t>(image->imageData[2]), 255);  // red
  cvReleaseImage(&image);
}

}  // namespace
}  // namespace gq
