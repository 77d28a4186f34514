// Runs the real gqtool similar, duplicates, mosaic and adjust on a generated picture set.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "db/DatabaseOps.h"
#include "signature/CriteriaFile.h"
#include "search/SearchTestSupport.h"
#include "support/ProgramRun.h"

namespace gq {
namespace {

struct ToolRun {
  int exitCode = -1;
  std::string out;
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
    return ToolRun{output.exitCode, output.out};
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
  EXPECT_EQ(json.out,
            "{\"complete\": true, \"groups\": [[\"" + copy + "\", \"" + Picture(3) + "\"]]}\n");
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
