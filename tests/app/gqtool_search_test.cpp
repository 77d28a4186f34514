// Runs the real gqtool similar, duplicates, mosaic and adjust on a generated picture set.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "base/TextFile.h"
#include "db/DatabaseOps.h"
#include "search/SearchTestSupport.h"
#include "signature/CriteriaFile.h"
#include "support/ProgramRun.h"

namespace gq {
namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class GqtoolSearch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::string pattern = (std::filesystem::temp_directory_path() / "gqsearchXXXXXX").string();
    s_Folder = mkdtemp(pattern.data());
    setenv("GLIMMERQUORUM_CONFIG_DIR", (s_Folder + "/config").c_str(), 1);
    std::filesystem::create_directory(s_Folder + "/pics");
    for (int i = 0; i < 12; ++i) Save(test::GeneratedPicture(50 + i, 160, 120), Picture(i));
    std::filesystem::copy_file(Picture(3), s_Folder + "/pics/copy3.png");
    s_Database = s_Folder + "/set.gqdb";
    ASSERT_EQ(Run({"index", s_Database, s_Folder + "/pics", "--quiet"}).exitCode, 0);
  }
  static void TearDownTestSuite() {
    unsetenv("GLIMMERQUORUM_CONFIG_DIR");
    std::filesystem::remove_all(s_Folder);
  }
  static std::string Picture(int i) { return s_Folder + "/pics/pic" + std::to_string(i) + ".png"; }
  static void Save(const PackedImage& picture, const std::string& path) {
    const cv::Mat mat(picture.height, picture.width, CV_8UC3,
                      const_cast<uint8_t*>(picture.pixels.data()), picture.stride());
    ASSERT_TRUE(cv::imwrite(path, mat));
  }
  static ToolRun Run(const std::vector<std::string>& words) {
    test::ProgramOutput output = test::RunProgram(GQTOOL_PATH, words, s_Folder);
    return ToolRun{output.exitCode, output.out, output.err};
  }
  static inline std::string s_Folder;
  static inline std::string s_Database;
};

TEST_F(GqtoolSearch, DuplicatesListTheCopyWithItsOriginal) {
  const std::string copy = s_Folder + "/pics/copy3.png";
  const ToolRun plain = Run({"duplicates", s_Database});
  EXPECT_EQ(plain.exitCode, 0);
  EXPECT_EQ(plain.out, copy + "\n" + Picture(3) + "\n");
  const ToolRun json = Run({"duplicates", s_Database, "--identity", "--json", "--similarity", "0"});
  EXPECT_EQ(json.exitCode, 0);
  EXPECT_NE(json.out.find("\"size\": " + std::to_string(std::filesystem::file_size(copy)) +
                          ", \"width\": 160, \"height\": 120"),
            std::string::npos)
      << json.out;
  EXPECT_EQ(Run({"duplicates", s_Database, "--similarity", "101"}).exitCode, 2);
}

TEST_F(GqtoolSearch, SimilarPutsTheCopyFirst) {
  const ToolRun run = Run({"similar", s_Database, Picture(3), "--last", "3"});
  EXPECT_EQ(run.exitCode, 0);
  ASSERT_EQ(run.out.rfind(s_Folder + "/pics/copy3.png\n", 0), 0u) << run.out;
  EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 3);
  const ToolRun scores = Run({"similar", s_Database, Picture(3), "--last", "1", "--scores"});
  EXPECT_EQ(scores.out, s_Folder + "/pics/copy3.png\t0\n");
  const ToolRun second = Run({"similar", s_Database, Picture(3), "--first", "2", "--last", "3"});
  EXPECT_EQ(std::count(second.out.begin(), second.out.end(), '\n'), 2);
  EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), second.out);
}

// On 13 pictures the default search scores every picture, so --exact must agree with it
// in every output form, from any first place.
TEST_F(GqtoolSearch, SimilarExactAgreesWhenTheSearchScoresEveryPicture) {
  for (const std::vector<std::string>& form : std::vector<std::vector<std::string>>{
           {"--scores"}, {"--json"}, {"--csv"}, {"-0"}, {"--first", "4", "--last", "9"}}) {
    std::vector<std::string> words = {"similar", s_Database, Picture(7), "--last", "12"};
    words.insert(words.end(), form.begin(), form.end());
    const ToolRun plain = Run(words);
    words.push_back("--exact");
    const ToolRun exact = Run(words);
    EXPECT_EQ(exact.exitCode, 0) << form[0] << ": " << exact.err;
    EXPECT_EQ(exact.out, plain.out) << form[0];
  }
}

// Reads a list gqtool printed in the given form ("json", "csv" or "null") with Python and
// prints its groups as lines of sorted paths joined by '|', bytes restored.
const char kListReader[] = R"(
import csv, io, json, sys
kind, raw = sys.argv[1], open(sys.argv[2], 'rb').read()
text = raw.decode('utf-8', 'surrogateescape')
if kind == 'json':
    d = json.loads(raw.decode('utf-8'))
    groups = [[m['path'] for m in g] for g in d['groups']] if 'groups' in d else [
        [m['path'] for m in d['similar']]]
elif kind == 'csv':
    rows = list(csv.reader(io.StringIO(text, newline='')))
    column = rows[0].index('path')
    keys = [r[0] if rows[0][0] == 'group' else '' for r in rows[1:]]
    groups = [[r[column] for r in rows[1:] if (r[0] if rows[0][0] == 'group' else '') == k]
              for k in dict.fromkeys(keys)]
else:
    groups = [g.split('\0') for g in text[:-1].split('\0\0')]
out = '\n'.join('|'.join(sorted(g)) for g in groups)
sys.stdout.buffer.write(out.encode('utf-8', 'surrogateescape'))
)";

TEST_F(GqtoolSearch, ListsForScriptsKeepAnyFileName) {
  const std::string folder = s_Folder + "/odd";
  const std::string quoted = folder + "/a b \"q\", 1.png";
  const std::string bytes = folder + "/c\xff\xfe\xc3(.png";
  std::filesystem::create_directory(folder);
  Save(test::GeneratedPicture(70, 160, 120), quoted);
  std::filesystem::copy_file(quoted, bytes);
  Save(test::GeneratedPicture(71, 160, 120), folder + "/other.png");
  const std::string database = s_Folder + "/odd.gqdb";
  ASSERT_EQ(Run({"index", database, folder, "--quiet"}).exitCode, 0);
  const std::string group = quoted + "|" + bytes;
  const struct {
    std::vector<std::string> words;
    const char* kind;
    std::string expected;
  } cases[] = {
      {{"duplicates", database, "--json"}, "json", group},
      {{"duplicates", database, "--csv"}, "csv", group},
      {{"duplicates", database, "-0"}, "null", group},
      {{"similar", database, quoted, "--last", "1", "--json"}, "json", bytes},
      {{"similar", database, bytes, "--last", "1", "--csv"}, "csv", quoted},
      {{"similar", database, bytes, "--last", "1", "--null"}, "null", quoted},
  };
  for (const auto& c : cases) {
    const ToolRun run = Run(c.words);
    ASSERT_EQ(run.exitCode, 0) << c.words[0] << " " << c.kind;
    std::ofstream(s_Folder + "/list.out", std::ios::binary) << run.out;
    const test::ProgramOutput read =
        test::RunProgram("/usr/bin/python3", {"-c", kListReader, c.kind, "list.out"}, s_Folder);
    EXPECT_EQ(read.exitCode, 0) << read.err;
    EXPECT_EQ(read.out, c.expected) << c.words[0] << " " << c.kind << ": " << run.out;
  }
  EXPECT_EQ(Run({"duplicates", database, "--json", "--csv"}).exitCode, 2);
}

// Every file below folder with its bytes.
std::map<std::string, std::string> TreeOf(const std::string& folder) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) ReadWholeTextFile(entry.path(), -1, &tree[entry.path()]);
  }
  return tree;
}

TEST_F(GqtoolSearch, DuplicateCopiesGoToTheTrashOrAFolderButNeverTheReference) {
  const std::string folder = s_Folder + "/dups";
  const std::string reference = folder + "/ref/a.png", copy = folder + "/b %\xff.png";
  const std::string big = folder + "/sub/big.png", small = folder + "/sub/small.png";
  std::filesystem::create_directories(folder + "/ref");
  std::filesystem::create_directory(folder + "/sub");
  Save(test::GeneratedPicture(80, 160, 120), reference);
  std::filesystem::copy_file(reference, copy);
  Save(test::GeneratedPicture(81, 160, 120), big);
  const cv::Mat pixels = cv::imread(big);
  ASSERT_TRUE(cv::imwrite(big, pixels, {cv::IMWRITE_PNG_COMPRESSION, 0}));
  ASSERT_TRUE(cv::imwrite(small, pixels, {cv::IMWRITE_PNG_COMPRESSION, 9}));
  const std::string database = s_Folder + "/dups.gqdb";
  ASSERT_EQ(Run({"index", database, folder, "--quiet"}).exitCode, 0);
  const std::vector<std::string> keep = {"duplicates", database,      "--keep",
                                         "largest",    "--reference", "dups/ref"};

  std::string databaseBefore, databaseAfter;
  ReadWholeTextFile(database, -1, &databaseBefore);
  const auto before = TreeOf(folder);
  auto dryRun = keep;
  dryRun.insert(dryRun.end(), {"--trash", "--dry-run", "--details"});
  const ToolRun dry = Run(dryRun);
  EXPECT_EQ(dry.exitCode, 0);
  EXPECT_NE(dry.out.find("keep\t" + reference + "\t"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("drop\t" + copy + "\t"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("keep\t" + big + "\t"), std::string::npos) << dry.out;
  ReadWholeTextFile(database, -1, &databaseAfter);
  EXPECT_TRUE(TreeOf(folder) == before && databaseAfter == databaseBefore)
      << "a dry run changes nothing";

  auto trash = keep;
  trash.push_back("--trash");
  ASSERT_EQ(Run(trash).exitCode, 0);
  const std::string info = s_Folder + "/data/Trash/info/b %\xff.png.trashinfo";
  std::string infoText;
  ASSERT_TRUE(ReadWholeTextFile(info, -1, &infoText));
  EXPECT_EQ(infoText.substr(0, infoText.find("DeletionDate=")),
            "[Trash Info]\nPath=" + s_Folder + "/dups/b%20%25%FF.png\n");
  EXPECT_TRUE(std::filesystem::exists(s_Folder + "/data/Trash/files/small.png"));
  EXPECT_EQ(std::filesystem::status(s_Folder + "/data/Trash").permissions() &
                std::filesystem::perms::others_all,
            std::filesystem::perms::none);
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_TRUE(std::filesystem::exists(reference));
  EXPECT_EQ(Run({"duplicates", database}).out, "") << "the records went with the files";

  std::filesystem::copy_file(big, small);
  ASSERT_EQ(Run({"index", database, folder, "--quiet"}).exitCode, 0);
  ASSERT_EQ(Run({"duplicates", database, "--keep", "first-folder", "--move-to", "moved"}).exitCode,
            0);
  EXPECT_TRUE(std::filesystem::exists(s_Folder + "/moved/dups/sub/small.png"));
  EXPECT_TRUE(std::filesystem::exists(big));
}

std::string JsonPath(const std::string& path) { return "{\"path\": \"" + path + "\""; }

// A database written in this process with the pictures of the given seeds at the paths.
std::string DatabaseOf(const std::string& path,
                       const std::vector<std::pair<std::string, uint32_t>>& pictures) {
  ImageRecordDB db;
  for (const auto& [picture, seed] : pictures) {
    db.AddRecord(test::RecordOf(picture, test::GeneratedPicture(seed, 160, 120)), false);
  }
  EXPECT_TRUE(SaveDatabase(db, path, false));
  db.ClearAll();
  return path;
}

TEST_F(GqtoolSearch, SimilarToAPictureOutsideTheDatabaseListsEveryPicture) {
  const std::string outside = s_Folder + "/outside.png";
  Save(test::GeneratedPicture(99, 160, 120), outside);
  const std::string single = DatabaseOf(s_Folder + "/single.gqdb", {{"/x/only.png", 1}});
  for (const auto& [database, pictures] : {std::pair{s_Database, 13}, std::pair{single, 1}}) {
    const ToolRun run = Run({"similar", database, outside});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), pictures) << run.out;
  }
}

TEST_F(GqtoolSearch, RecordsOfVanishedFilesAreMarkedOrLeftOut) {
  const std::string gone = s_Folder + "/gone.png";
  const std::string database =
      DatabaseOf(s_Folder + "/stale.gqdb", {{Picture(5), 55}, {gone, 55}, {Picture(6), 56}});
  const ToolRun marked = Run({"duplicates", database, "--json"});
  EXPECT_NE(marked.out.find(JsonPath(gone) + ", \"exists\": false, \"size\": null"),
            std::string::npos)
      << marked.out;
  EXPECT_NE(marked.err.find(gone), std::string::npos);
  EXPECT_NE(marked.err.find("--update"), std::string::npos) << marked.err;
  EXPECT_EQ(Run({"duplicates", database, "--existing"}).out, "");
  const ToolRun similar = Run({"similar", database, Picture(5), "--last", "1"});
  EXPECT_EQ(similar.out, gone + "\n");
  EXPECT_NE(similar.err.find("--existing"), std::string::npos) << similar.err;
  const ToolRun existing = Run({"similar", database, Picture(5), "--existing"});
  EXPECT_EQ(existing.out, Picture(6) + "\n") << existing.err;
}

TEST_F(GqtoolSearch, SimilarFindsAPictureThroughASymlinkedFolder) {
  // The database holds the paths as loaded, through the link; the picture is named
  // relative to the current folder.
  std::filesystem::create_directory_symlink(s_Folder + "/pics", s_Folder + "/linked");
  const std::string linked = s_Folder + "/linked/";
  const std::string database = DatabaseOf(
      s_Folder + "/linked.gqdb",
      {{linked + "pic3.png", 53}, {linked + "copy3.png", 53}, {linked + "pic4.png", 54}});
  const ToolRun run = Run({"similar", database, "linked/pic3.png"});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_EQ(run.out, linked + "copy3.png\n" + linked + "pic4.png\n");
}

TEST_F(GqtoolSearch, CriteriaShowNamesEachNumber) {
  const std::string path = s_Folder + "/named.txt";
  std::ofstream(path) << " 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 19 20";
  const ToolRun run = Run({"criteria", "show", path});
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.out.find(" 4  Coarse Center         4  (default 50)\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("20  Other File Path      20  (default 0)\n"), std::string::npos);
  EXPECT_EQ(Run({"criteria", "show", s_Folder + "/none.txt"}).exitCode, 1);
}

TEST_F(GqtoolSearch, MosaicWritesThePictureOfTheGivenSize) {
  const std::string out = s_Folder + "/mosaic.png";
  EXPECT_EQ(Run({"mosaic", s_Database, Picture(1), out, "--columns", "4", "--rows", "3", "--width",
                 "80", "--height", "60", "--avoid-reuse"})
                .exitCode,
            0);
  const cv::Mat mosaic = cv::imread(out);
  EXPECT_EQ(mosaic.cols, 80);
  EXPECT_EQ(mosaic.rows, 60);
  EXPECT_EQ(Run({"mosaic", s_Database, Picture(1), out, "--columns", "60"}).exitCode, 1)
      << "160 / 60 pixels per cell is too small";
  EXPECT_EQ(Run({"mosaic", s_Database, Picture(1), out, "--width", "5"}).exitCode, 2);
}

TEST_F(GqtoolSearch, AdjustWritesACriteriaFile) {
  const std::string criteriaPath = s_Folder + "/criteria.txt";
  EXPECT_EQ(Run({"adjust", s_Database, Picture(2), Picture(7), "--quick", "--out", criteriaPath})
                .exitCode,
            0);
  Criteria criteria;
  ASSERT_TRUE(ReadCriteriaFile(criteriaPath, &criteria));
  EXPECT_EQ(criteria.value[kFilePath], 0);
  EXPECT_EQ(Run({"adjust", s_Database, Picture(2), "--out", criteriaPath}).exitCode, 2);
  EXPECT_EQ(Run({"adjust", s_Database, Picture(2), s_Folder + "/none.png", "--out", criteriaPath})
                .exitCode,
            1);
}

}  // namespace
}  // namespace gq
