// Runs the real gqtool binary on generated pictures.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "loading/LoadPicture.h"
#include "platform/Process.h"
#include "platform/RegStore.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"
#include "support/ProgramRun.h"

namespace gq {
namespace {

using namespace std::chrono_literals;

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class Gqtool : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "gqtoolXXXXXX").string();
    m_folder = mkdtemp(pattern.data());
    // The tool reads the user's settings; give it an empty settings folder of its own.
    setenv("GLIMMERQUORUM_CONFIG_DIR", (m_folder / "config").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("GLIMMERQUORUM_CONFIG_DIR");
    std::filesystem::remove_all(m_folder);
  }
  std::string File(const std::string& name) const { return (m_folder / name).string(); }

  // Runs gqtool with the arguments.
  ToolRun Run(const std::vector<std::string>& args) {
    test::ProgramOutput output = test::RunProgram(GQTOOL_PATH, args, m_folder.string());
    return ToolRun{output.exitCode, output.out, output.err};
  }

  // The two lines the tool must print, computed in this process.
  static std::string Expected(const std::string& path) {
    IplImage* image = LoadPicture(path.c_str(), 1);
    if (image == nullptr) return "";
    PackedImage thumb;
    MakeThumbnail(image->width, image->height, image->widthStep,
                  reinterpret_cast<uint8_t*>(image->imageData), kThumbnailSide, &thumb);
    Signature s{};
    ComputeSignature(thumb.width, thumb.height, thumb.pixels.data(), image->width, image->height,
                     s.data());
    cvReleaseImage(&image);
    std::ostringstream text;
    text << "thumb " << thumb.width << ' ' << thumb.height << '\n';
    for (int i = 0; i < kComputedSignatureLength; ++i) text << (i ? " " : "") << s[i];
    text << '\n';
    return text.str();
  }

  std::filesystem::path m_folder;
};

std::string ReadText(const std::string& path) {
  std::ifstream file(path);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

cv::Mat Picture(int width, int height) {
  cv::Mat m(height, width, CV_8UC3);
  cv::randu(m, 0, 256);
  m(cv::Rect(width / 4, height / 4, width / 3, height / 3)).setTo(cv::Scalar(0, 0, 255));
  return m;
}

TEST_F(Gqtool, SignatureOfEveryBuiltInFormat) {
  cv::theRNG().state = 12345;
  const cv::Mat picture = Picture(300, 200);
  std::vector<std::string> files;
  for (const char* name : {"p.bmp", "p.jpg", "p.png", "p.ppm", "p.tif", "p.ras"}) {
    files.push_back(File(name));
    ASSERT_TRUE(cv::imwrite(files.back(), picture)) << name;
  }
  // Formats written by ImageMagick: ASCII and binary PBM/PGM/PPM, Sun raster type 3.
  for (const char* name : {"a.pbm", "a.pgm", "b.pgm", "a.ppm", "im.ras"}) {
    std::vector<std::string> argv = {"/usr/bin/convert", File("p.png")};
    if (name[0] == 'a') argv.push_back("-compress"), argv.push_back("none");
    argv.push_back(File(name));
    ASSERT_TRUE(RunProcess(argv, 60000).exitCode == 0) << name;
    files.push_back(File(name));
  }
  const ToolRun run = Run([&] {
    std::vector<std::string> args = {"signature"};
    args.insert(args.end(), files.begin(), files.end());
    return args;
  }());
  EXPECT_EQ(run.exitCode, 0);
  std::string expected;
  for (const std::string& f : files) expected += Expected(f);
  EXPECT_EQ(run.out, expected);

  // Each picture gives "thumb 96 64" and 103 numbers.
  std::istringstream lines(run.out);
  std::string line;
  int count = 0;
  while (std::getline(lines, line)) {
    if (count++ % 2 == 0) {
      EXPECT_EQ(line, "thumb 96 64");
    } else {
      std::istringstream values(line);
      int v, n = 0;
      while (values >> v) ++n;
      EXPECT_EQ(n, kComputedSignatureLength);
    }
  }
  EXPECT_EQ(count, 2 * static_cast<int>(files.size()));

  // The same input twice gives the same bytes.
  EXPECT_EQ(Run({"signature", files[1]}).out, Run({"signature", files[1]}).out);
}

TEST_F(Gqtool, UnreadableAndTooSmallPicturesPrintAnErrorLine) {
  cv::theRNG().state = 777;
  ASSERT_TRUE(cv::imwrite(File("good.png"), Picture(50, 40)));
  ASSERT_TRUE(cv::imwrite(File("tiny.png"), Picture(2, 9)));
  std::ofstream(File("text.jpg")) << "no picture";
  const ToolRun run =
      Run({"signature", File("text.jpg"), File("good.png"), File("tiny.png"), File("absent")});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "error: cannot read picture \"" + File("text.jpg") + "\"\n" +
                         Expected(File("good.png")) + "error: picture too small \"" +
                         File("tiny.png") + "\"\n" + "error: cannot read picture \"" +
                         File("absent") + "\"\n");
}

TEST_F(Gqtool, TwoIndexRunsOnANewDatabaseNeverLoseRecords) {
  // Run A's picture goes through a converter that waits for the test, so that run B
  // starts and ends on the same new database while A is in the middle of its run.
  cv::theRNG().state = 99;
  ASSERT_TRUE(cv::imwrite(File("b.jpg"), Picture(60, 40)));
  ASSERT_TRUE(cv::imwrite(File("converted.bmp"), Picture(60, 40)));
  std::ofstream(File("a.xyz")) << "not a picture the codecs know";
  ASSERT_EQ(mkfifo(File("started").c_str(), 0600), 0);
  ASSERT_EQ(mkfifo(File("go").c_str(), 0600), 0);
  std::ofstream(File("convert.sh")) << "echo started > '" << File("started") << "'\n"
                                    << "read line < '" << File("go") << "'\n"
                                    << "cp '" << File("converted.bmp") << "' \"$2\"\n";
  RegStore settings;
  settings.SetString("ImportCmd", "/bin/sh \"" + File("convert.sh") + "\" \"%1\" \"%2\"");
  settings.SetString("ImportTypes", "xyz");
  ASSERT_TRUE(settings.Save(File("config/settings.reg")));
  const int started = open(File("started").c_str(), O_RDONLY | O_NONBLOCK);
  const int go = open(File("go").c_str(), O_RDWR);
  ASSERT_GE(started, 0);
  ASSERT_GE(go, 0);

  const std::string db = File("new.gqdb");
  const pid_t runA = test::StartProgram(GQTOOL_PATH, {"index", db, File("a.xyz"), "--quiet"},
                                        m_folder.string(), "a.txt");
  pollfd converting{started, POLLIN, 0};
  ASSERT_EQ(poll(&converting, 1, 60000), 1) << "the converter of run A never started";
  const int exitB = Run({"index", db, File("b.jpg"), "--quiet"}).exitCode;
  ASSERT_EQ(write(go, "go\n", 3), 3);
  int status = 0;
  ASSERT_EQ(waitpid(runA, &status, 0), runA);
  close(started);
  close(go);
  const int exitA = WIFEXITED(status) ? WEXITSTATUS(status) : -1;

  const std::string listed = Run({"export", db, "--files"}).out;
  EXPECT_TRUE(exitA == 0 || exitB == 0);
  if (exitA == 0) {
    EXPECT_NE(listed.find("a.xyz"), std::string::npos) << listed;
  }
  if (exitB == 0) {
    EXPECT_NE(listed.find("b.jpg"), std::string::npos) << listed;
  }
}

TEST_F(Gqtool, IndexTakesItsArgumentsWholeAndAnyNumberOfJobs) {
  cv::theRNG().state = 99;
  std::vector<std::string> files;
  for (const char* name : {"a\"b.png", " lead.png", "t.png "}) {
    ASSERT_TRUE(cv::imwrite(File("any.png"), Picture(40, 30)));
    std::filesystem::rename(File("any.png"), File(name));
    files.push_back(File(name));
  }
  std::vector<std::string> args = {"index", File("odd.gqdb"), "--quiet"};
  args.insert(args.end(), files.begin(), files.end());
  ToolRun run = Run(args);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind("added 3, updated 0, removed 0, unchanged 0,", 0), 0u) << run.out;

  run = Run({"index", File("many.gqdb"), files[0], "--jobs", "1000000", "--quiet"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind("added 1,", 0), 0u) << run.out;
}

TEST_F(Gqtool, IndexWritesTheSameBytesWithOneOrManyJobs) {
  // More pictures than thumbnails stay in memory, so that some are paged out while loading.
  cv::theRNG().state = 17;
  std::filesystem::create_directories(File("many"));
  for (int i = 0; i < 260; ++i) {
    ASSERT_TRUE(cv::imwrite(File("many/p" + std::to_string(i) + ".png"), Picture(24 + i % 9, 20)));
  }
  for (const char* jobs : {"1", "3"}) {
    ToolRun run = Run({"index", File(std::string("jobs") + jobs + ".gqdb"), File("many"), "--jobs",
                       jobs, "--quiet"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }
  EXPECT_TRUE(ReadText(File("jobs1.gqdb")) == ReadText(File("jobs3.gqdb")));
}

TEST_F(Gqtool, IndexTellsWhatBecameOfEveryFile) {
  cv::theRNG().state = 5;
  std::filesystem::create_directories(File("tree/empty"));
  for (const char* name : {"tree/a.png", "tree/own.gqdb b.png", "tree/cut.png"})
    ASSERT_TRUE(cv::imwrite(File(name), Picture(40, 30)));
  std::filesystem::resize_file(File("tree/cut.png"), 100);
  ASSERT_TRUE(cv::imwrite(File("tree/tiny.png"), Picture(2, 9)));
  std::ofstream(File("tree/notes.jpg")) << "no picture";
  const std::string db = File("tree/own.gqdb");
  const std::string cut = "Error reading picture: \"" + File("tree/cut.png") + "\".\n";
  const std::string notes = "Error reading picture: \"" + File("tree/notes.jpg") + "\".\n";
  const std::string tiny = "Picture too small: " + File("tree/tiny.png") + "\n" +
                           "Codec message: libpng error: PNG input buffer is incomplete\n";
  const auto changeA = [&] {
    ASSERT_TRUE(cv::imwrite(File("tree/a.png"), Picture(50, 30)));
    std::filesystem::last_write_time(
        File("tree/a.png"), std::filesystem::last_write_time(File("tree/own.gqdb b.png")) + 1h);
    std::filesystem::remove(File("tree/own.gqdb b.png"));
  };
  struct Case {
    std::function<void()> before;
    std::vector<std::string> arguments;
    int exitCode;
    std::string summary;
    std::string errors;
  };
  const Case cases[] = {
      // The walk meets the database itself: skipped, not an error; a picture whose name
      // starts with the database's is no database file.
      {nullptr,
       {File("tree")},
       0,
       "added 2, updated 0, removed 0, unchanged 0, not a picture 1, damaged 1, too small 1, "
       "other errors 0, skipped 1, left out 0; 2 pictures",
       cut + notes + tiny},
      {nullptr,
       {File("tree")},
       0,
       "added 0, updated 0, removed 0, unchanged 2, not a picture 1, damaged 1, too small 1, "
       "other errors 0, skipped 1, left out 0; 2 pictures",
       cut + notes + tiny},
      {changeA,
       {"--update"},
       0,
       "added 0, updated 1, removed 1, unchanged 0, not a picture 0, damaged 0, too small 0, "
       "other errors 0, skipped 0, left out 0; 1 pictures",
       ""},
      {nullptr,
       {File("tree/a.png"), File("tree/absent.png")},
       1,
       "added 0, updated 0, removed 0, unchanged 1, not a picture 0, damaged 0, too small 0, "
       "other errors 1, skipped 0, left out 0; 1 pictures",
       "Picture does not exist: \"" + File("tree/absent.png") + "\".\n"},
      {nullptr,
       {File("tree/empty")},
       1,
       "added 0, updated 0, removed 0, unchanged 0, not a picture 0, damaged 0, too small 0, "
       "other errors 0, skipped 0, left out 0; 1 pictures",
       ""},
  };
  for (const Case& c : cases) {
    if (c.before) c.before();
    std::vector<std::string> args = {"index", db, "--quiet", "--errors", File("errors.txt")};
    args.insert(args.end(), c.arguments.begin(), c.arguments.end());
    const ToolRun run = Run(args);
    EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments[0];
    EXPECT_EQ(run.out.rfind(c.summary, 0), 0u) << run.out;
    EXPECT_EQ(ReadText(File("errors.txt")), c.errors);
  }
  // A database that cannot be written is refused before any loading.
  const ToolRun run = Run({"index", File("no/such/folder.gqdb"), File("tree"), "--quiet"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.out, "");
}

TEST_F(Gqtool, IndexFiltersWalkedFolders) {
  cv::theRNG().state = 8;
  for (const char* folder : {"tree/.hidden", "tree/raw", "tree/keep/raw"})
    std::filesystem::create_directories(File(folder));
  for (const char* name :
       {"tree/.hidden/a.png", "tree/raw/a.png", "tree/keep/raw/a.png", "tree/a.tmp.png"})
    ASSERT_TRUE(cv::imwrite(File(name), Picture(60, 50)));
  ASSERT_TRUE(cv::imwrite(File("tree/big.png"), Picture(300, 300)));
  ASSERT_TRUE(cv::imwrite(File("tree/narrow.png"), Picture(200, 20)));
  std::ofstream(File("tree/small.jpg")) << "tiny";
  const std::string bigSize = std::to_string(std::filesystem::file_size(File("tree/big.png")));
  struct Case {
    std::vector<std::string> options;
    int added;
    int leftOut;
  };
  const Case cases[] = {
      {{}, 5, 1},  // the hidden folder
      {{"--hidden"}, 6, 0},
      // A glob without '/' matches names: both raw folders.
      {{"--exclude", "*.tmp.png", "--exclude", "raw"}, 2, 4},
      {{"--exclude", "raw/*"}, 4, 2},
      {{"--min-size", bigSize}, 1, 6},
      // A file whose header says nothing is left to the loader.
      {{"--min-pixels", "30"}, 4, 2},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(File("x.gqdb"));
    std::vector<std::string> args = {"index", File("x.gqdb"), File("tree"), "--quiet"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const ToolRun run = Run(args);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out.rfind("added " + std::to_string(c.added) + ",", 0), 0u) << run.out;
    EXPECT_NE(run.out.find(", left out " + std::to_string(c.leftOut) + ";"), std::string::npos)
        << run.out;
  }
}

TEST_F(Gqtool, IndexKeepsCodecWarningsOffTheTerminalAndTellsItSaves) {
  // A PNG with a damaged comment: libpng warns about it and reads the picture.
  ASSERT_TRUE(cv::imwrite(File("a.png"), Picture(40, 30)));
  std::string png = ReadText(File("a.png"));
  const std::string comment("\0\0\0\x0dtEXtComment\0hello\0\0\0\0", 25);
  png.insert(33, comment);  // after the signature and the header chunk
  std::ofstream(File("a.png"), std::ios::binary) << png;
  const ToolRun run = Run({"index", File("a.gqdb"), File("a.png"), "--errors", File("errors.txt")});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out.rfind("added 1,", 0), 0u) << run.out;
  EXPECT_EQ(run.err, "saving 1 pictures to " + File("a.gqdb") +
                         "\ngqtool index: the picture codecs wrote 1 messages\n");
  EXPECT_EQ(ReadText(File("errors.txt")), "Codec message: libpng warning: tEXt: CRC error\n");
}

TEST_F(Gqtool, HelpAndUsageErrors) {
  const ToolRun help = Run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("gqtool signature FILE..."), std::string::npos);
  EXPECT_NE(help.out.find("thumb W H"), std::string::npos);
  EXPECT_EQ(Run({}).exitCode, 2);
  EXPECT_EQ(Run({"signature"}).exitCode, 2);
  EXPECT_EQ(Run({"no-such-command"}).exitCode, 2);
  // A usage error names the wrong argument and says why.
  const struct {
    std::vector<std::string> args;
    std::string err;
  } cases[] = {
      {{"similar", "a.gqdb", "p.png", "--first", "0"},
       "gqtool similar: --first must be 1 or more\n"},
      {{"similar", "a.gqdb", "p.png", "--first", "5", "--last", "2"},
       "gqtool similar: --last must not be below --first\n"},
      {{"index", "a.gqdb", "p.png", "--min-pixels", "-1"},
       "gqtool index: --min-pixels must be a number of pixels, 0 or more\n"},
  };
  for (const auto& c : cases) {
    const ToolRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, c.err);
  }
}

}  // namespace
}  // namespace gq
