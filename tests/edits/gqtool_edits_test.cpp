// Runs the real gqtool duplicates --edits on a few generated photos and their copies.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include "edits/EditsTestSupport.h"
#include "support/ProgramRun.h"

namespace gq {
namespace {

using namespace test;

TEST(GqtoolEdits, GroupsTheCopiesAndNamesTheirEditsOnlyInEditsMode) {
  std::string pattern = (std::filesystem::temp_directory_path() / "gqeditsXXXXXX").string();
  const std::string folder = mkdtemp(pattern.data());
  std::filesystem::create_directory(folder + "/pics");
  auto save = [&](const PackedImage& picture, const std::string& name) {
    const cv::Mat mat(picture.height, picture.width, CV_8UC3,
                      const_cast<uint8_t*>(picture.pixels.data()), picture.stride());
    ASSERT_TRUE(cv::imwrite(folder + "/pics/" + name, mat));
  };
  const PackedImage a = PhotoLike(11);
  save(a, "a.png");
  save(Rotated90(a), "b.png");
  save(PhotoLike(12), "c.png");
  const std::string database = folder + "/set.gqdb";
  auto run = [&](const std::vector<std::string>& words) {
    return RunProgram(GQTOOL_PATH, words, folder);
  };
  ASSERT_EQ(run({"index", database, folder + "/pics", "--quiet"}).exitCode, 0);

  const ProgramOutput edits = run({"duplicates", database, "--edits", "--json"});
  EXPECT_EQ(edits.exitCode, 0) << edits.err;
  EXPECT_NE(edits.out.find("/pics/a.png\", \"exists\": true"), std::string::npos) << edits.out;
  EXPECT_NE(edits.out.find("\"edit\": null}, {\"path\": \"" + folder + "/pics/b.png\""),
            std::string::npos)
      << edits.out;
  EXPECT_NE(edits.out.find("\"edit\": \"rot90\"}]]}"), std::string::npos) << edits.out;
  EXPECT_TRUE(std::filesystem::exists(database + ".edits"));
  const ProgramOutput plain = run({"duplicates", database, "--edits"});
  EXPECT_EQ(plain.out, folder + "/pics/a.png\n" + folder + "/pics/b.png\n");
  EXPECT_EQ(run({"duplicates", database, "--json"}).out.find("\"edit\""), std::string::npos);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace gq
