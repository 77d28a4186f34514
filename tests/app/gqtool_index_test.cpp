// Runs the real gqtool index for scripts: its JSON, the import filter from the command
// line and the settings, and the saves on the way of a long run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>
#include <string>
#include <vector>

#include "platform/Process.h"
#include "platform/RegStore.h"
#include "support/ProgramRun.h"

namespace gq {
namespace {

using namespace std::chrono_literals;

class GqtoolIndex : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "gqindexXXXXXX").string();
    m_Folder = mkdtemp(pattern.data());
    setenv("GLIMMERQUORUM_CONFIG_DIR", File("config").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("GLIMMERQUORUM_CONFIG_DIR");
    std::filesystem::remove_all(m_Folder);
  }
  std::string File(const std::string& name) const { return m_Folder + "/" + name; }
  test::ProgramOutput Run(const std::vector<std::string>& args) {
    return test::RunProgram(GQTOOL_PATH, args, m_Folder);
  }
  void Picture(const std::string& name, int seed) {
    cv::theRNG().state = seed;
    cv::Mat m(40, 60, CV_8UC3);
    cv::randu(m, 0, 256);
    ASSERT_TRUE(cv::imwrite(File(name), m)) << name;
  }

  std::string m_Folder;
};

std::string ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Reads gqtool index's JSON with Python: fails unless the summary counts the files of
// each outcome; prints "outcome path" lines in byte order (bytes restored), then the
// picture count and whether the run completed.
const char kIndexJsonReader[] = R"(
import collections, json, sys
d = json.loads(open(sys.argv[1], 'rb').read().decode('utf-8'))
counted = collections.Counter(f['outcome'] for f in d['files'])
if any(d['summary'][k] != counted[k] for k in d['summary']) or set(counted) - set(d['summary']):
    sys.exit('summary %s, files %s' % (d['summary'], counted))
lines = sorted((f['outcome'] + ' ' + f['path']).encode('utf-8', 'surrogateescape')
               for f in d['files'])
sys.stdout.buffer.write(b''.join(l + b'\n' for l in lines))
print(d['pictures'], d['complete'])
)";

TEST_F(GqtoolIndex, JsonTellsEachFileItsOutcomeWhateverItsName) {
  std::filesystem::create_directories(File("tree/.hidden"));
  const std::string odd = "tree/c\xff\xfe \"q\".png";
  Picture("tree/a.png", 1);
  Picture(odd, 2);
  Picture("tree/cut.png", 3);
  Picture("tree/.hidden/h.png", 4);
  std::filesystem::resize_file(File("tree/cut.png"), 100);
  std::ofstream(File("tree/notes.jpg")) << "no picture";
  const std::string db = File("tree/own.gqdb");
  const auto changeAndRemove = [&] {
    Picture("tree/a.png", 5);
    std::filesystem::last_write_time(File("tree/a.png"), std::filesystem::last_write_time(db) + 1h);
    std::filesystem::remove(File(odd));
  };
  const struct {
    std::function<void()> before;
    std::vector<std::string> arguments;
    std::string outcomes;
  } cases[] = {
      {nullptr,
       {File("tree")},
       "added " + File("tree/a.png") + "\nadded " + File(odd) + "\ndamaged " +
           File("tree/cut.png") + "\nleft_out " + File("tree/.hidden") + "\nnot_a_picture " +
           File("tree/notes.jpg") + "\nskipped " + db + "\n2 True\n"},
      {changeAndRemove,
       {"--update"},
       "removed " + File(odd) + "\nupdated " + File("tree/a.png") + "\n1 True\n"},
  };
  for (const auto& c : cases) {
    if (c.before) c.before();
    std::vector<std::string> args = {"index", db, "--json"};
    args.insert(args.end(), c.arguments.begin(), c.arguments.end());
    const test::ProgramOutput run = Run(args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Progress and load errors stay on standard error.
    EXPECT_NE(run.err.find("saving "), std::string::npos) << run.err;
    std::ofstream(File("index.json"), std::ios::binary) << run.out;
    const test::ProgramOutput read =
        test::RunProgram("/usr/bin/python3", {"-c", kIndexJsonReader, "index.json"}, m_Folder);
    EXPECT_EQ(read.exitCode, 0) << read.err << run.out;
    EXPECT_EQ(read.out, c.outcomes) << run.out;
  }
}

TEST_F(GqtoolIndex, ImportFilterFromTheCommandLineOrTheSettings) {
  const std::string convert = "/usr/bin/convert";
  if (access(convert.c_str(), X_OK) != 0) GTEST_SKIP() << "ImageMagick's convert is missing";
  Picture("p.png", 7);
  ASSERT_EQ(RunProcess({convert, File("p.png"), File("w.webp")}, 60000).exitCode, 0);
  RegStore settings;
  settings.SetDword("VTB", 0);
  ASSERT_TRUE(settings.Save(File("config/settings.reg")));
  const std::string before = ReadBytes(File("config/settings.reg"));
  const std::string command = convert + " \"%1\" \"%2\"";

  // The built-in codecs do not read WebP.
  EXPECT_EQ(Run({"index", File("a.gqdb"), File("w.webp"), "--quiet"}).exitCode, 1);
  test::ProgramOutput run = Run({"index", File("b.gqdb"), File("w.webp"), "--quiet", "--import-cmd",
                                 command, "--import-types", "heic;webp"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.rfind("added 1,", 0), 0u) << run.out;
  EXPECT_EQ(ReadBytes(File("config/settings.reg")), before);

  EXPECT_EQ(Run({"config", "set", "ImportCmd", command}).exitCode, 0);
  EXPECT_EQ(Run({"config", "set", "importtypes", "heic;webp"}).exitCode, 0);
  EXPECT_EQ(Run({"config", "get", "ImportTypes"}).out, "heic webp\n");
  run = Run({"index", File("c.gqdb"), File("w.webp"), "--quiet"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out.rfind("added 1,", 0), 0u) << run.out;

  // Refused values name what is wrong and change nothing.
  const std::string set = ReadBytes(File("config/settings.reg"));
  EXPECT_NE(set.find("\"VTB\"=dword:00000000"), std::string::npos) << set;
  const struct {
    std::vector<std::string> args;
    std::string err;
  } refused[] = {
      {{"config", "set", "ImportCmnd", "x"},
       "gqtool config: unknown setting \"ImportCmnd\" (known: ImportCmd, ImportTypes)\n"},
      {{"config", "set", "ImportCmd", convert + " %1"},
       "gqtool config: ImportCmd must name the picture as %1 and the BMP file to write as %2\n"},
      {{"index", File("d.gqdb"), File("w.webp"), "--import-cmd", "convert\n%1 %2"},
       "gqtool index: --import-cmd must be one line\n"},
  };
  for (const auto& c : refused) {
    run = Run(c.args);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, c.err);
  }
  EXPECT_EQ(ReadBytes(File("config/settings.reg")), set);
}

// Reads whole lines from a descriptor.
class LineReader {
 public:
  explicit LineReader(int fd) : m_Fd(fd) {}
  // The next line without its end; false at the end of the stream.
  bool Next(std::string* line) {
    char buffer[256];
    for (size_t end; (end = m_Pending.find('\n')) == std::string::npos;) {
      const ssize_t got = read(m_Fd, buffer, sizeof buffer);
      if (got <= 0) return false;
      m_Pending.append(buffer, static_cast<size_t>(got));
    }
    const size_t end = m_Pending.find('\n');
    *line = m_Pending.substr(0, end);
    m_Pending.erase(0, end + 1);
    return true;
  }

 private:
  const int m_Fd;
  std::string m_Pending;
};

TEST_F(GqtoolIndex, KilledRunKeepsWhatItSavedOnTheWay) {
  // The converter of z.xyz waits for the test, so that the run is killed in the middle
  // after a save on the way has taken a.png and b.png (one decoding thread takes the
  // named files in order).
  std::filesystem::create_directories(File("tree"));
  Picture("tree/a.png", 1);
  Picture("tree/b.png", 2);
  Picture("converted.bmp", 3);
  std::ofstream(File("tree/z.xyz")) << "converted by the script";
  for (const char* fifo : {"started", "go", "err"}) ASSERT_EQ(mkfifo(File(fifo).c_str(), 0600), 0);
  std::ofstream(File("convert.sh"))
      << "[ -p '" << File("go") << "' ] || exec cp '" << File("converted.bmp") << "' \"$2\"\n"
      << "echo started > '" << File("started") << "'\n"
      << "read line < '" << File("go") << "'\n";
  const int started = open(File("started").c_str(), O_RDONLY | O_NONBLOCK);
  const int go = open(File("go").c_str(), O_RDWR);
  const std::string db = File("db.gqdb");
  const std::vector<std::string> args = {"index",
                                         db,
                                         File("tree/a.png"),
                                         File("tree/b.png"),
                                         File("tree/z.xyz"),
                                         "--jobs",
                                         "1",
                                         "--save-every",
                                         "1",
                                         "--import-types",
                                         "xyz",
                                         "--import-cmd",
                                         "/bin/sh \"" + File("convert.sh") + "\" \"%1\" \"%2\""};
  setenv("TMPDIR", m_Folder.c_str(), 1);  // the converter's folder of the killed run
  const pid_t run = test::StartProgram(GQTOOL_PATH, args, m_Folder, "err");
  unsetenv("TMPDIR");
  const int err = open(File("err").c_str(), O_RDONLY);
  ASSERT_GE(err, 0);

  // A save on the way writes its line, saves, and then the progress line again.
  LineReader lines(err);
  std::string line;
  while (line != "saving 2 pictures to " + db) {
    ASSERT_TRUE(lines.Next(&line)) << "the run ended without saving both pictures";
  }
  ASSERT_TRUE(lines.Next(&line));
  EXPECT_NE(line.find(" files ("), std::string::npos) << line;
  pollfd converting{started, POLLIN, 0};
  ASSERT_EQ(poll(&converting, 1, 60000), 1) << "the converter never started";
  kill(run, SIGKILL);
  int status = 0;
  ASSERT_EQ(waitpid(run, &status, 0), run);
  EXPECT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(write(go, "go\n", 3), 3);
  for (int fd : {started, go, err}) close(fd);
  std::filesystem::remove(File("go"));

  const test::ProgramOutput next = Run(args);
  EXPECT_EQ(next.exitCode, 0) << next.err;
  EXPECT_EQ(next.out.rfind("added 1, updated 0, removed 0, unchanged 2,", 0), 0u) << next.out;
}

}  // namespace
}  // namespace gq
