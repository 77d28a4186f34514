#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "db/DatabaseOps.h"
#include "edits/EditDuplicateSearch.h"
#include "edits/EditsTestSupport.h"
#include "signature/Signature.h"
#include "support/RecordOfPicture.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using namespace test;

// The groups of the group list as sets of paths, and whether each group's first member
// (and only it) has an empty edit.
std::vector<std::set<std::string>> GroupPaths(ImageRecordDB& db, const EditSearchReport& report,
                                              bool* namesRight) {
  std::vector<std::set<std::string>> groups;
  int32_t group = -1;
  *namesRight = true;
  for (int32_t rank = 0; rank < static_cast<int32_t>(db.GroupList().count); ++rank) {
    auto* record = static_cast<ImageRecord*>(iavl_select(&db.GroupList(), rank));
    const bool first = record->m_GroupNr != group;
    if (first) groups.emplace_back();
    group = record->m_GroupNr;
    groups.back().insert(record->m_Path);
    *namesRight = *namesRight && report.edits.at(record->m_LfdNr).empty() == first;
  }
  return groups;
}

class EditSearch : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "gqeditsXXXXXX").string();
    m_Folder = mkdtemp(pattern.data());
    const std::string database = m_Folder + "/set.gqdb";
    m_Options.cachePath = EditCachePath(database);
    m_Options.threads = 2;
    // The database is saved and loaded again, so that the thumbnails are in the file only.
    ImageRecordDB made;
    ASSERT_TRUE(OpenOrCreateDatabase(made, database));
    const PackedImage a = PhotoLike(1), b = PhotoLike(2);
    for (auto& [path, picture] : std::vector<std::pair<std::string, PackedImage>>{
             {"/p/a.jpg", a},
             {"/p/a-mirror.jpg", MirroredLeftRight(a)},
             {"/p/a-crop.jpg", Region(a, 0.1f, 0.1f, 0.9f, 0.9f)},
             {"/p/b.jpg", b},
             {"/p/b-turned.jpg", Rotated90(b)},
             {"/p/c.jpg", PhotoLike(3)}}) {
      made.AddRecord(RecordOf(path, picture), false);
    }
    ASSERT_TRUE(FlushDatabase(made));
    made.ClearAll();
    ASSERT_TRUE(LoadDatabase(m_Db, database, 0, 0));
  }
  void TearDown() override {
    m_Db.ClearAll();
    std::filesystem::remove_all(m_Folder);
  }
  std::vector<std::set<std::string>> Groups(const EditSearchReport& report) {
    bool namesRight = false;
    auto groups = GroupPaths(m_Db, report, &namesRight);
    EXPECT_TRUE(namesRight);
    return groups;
  }

  ScriptedMessageBox m_Boxes;
  std::string m_Folder;
  ImageRecordDB m_Db;
  EditSearchOptions m_Options;
};

TEST_F(EditSearch, GroupsFromTheFileAndKeepsTheCacheInStep) {
  const std::vector<std::set<std::string>> expected = {
      {"/p/a-crop.jpg", "/p/a-mirror.jpg", "/p/a.jpg"}, {"/p/b-turned.jpg", "/p/b.jpg"}};
  EditSearchReport report = RunEditDuplicateSearch(m_Db, m_Options);
  EXPECT_TRUE(report.finished);
  EXPECT_EQ(report.cacheState, EditCacheState::kMissing);
  EXPECT_EQ(report.computed, 6);
  EXPECT_EQ(Groups(report), expected);

  report = RunEditDuplicateSearch(m_Db, m_Options);
  EXPECT_EQ(report.cacheState, EditCacheState::kRead);
  EXPECT_EQ(report.reused, 6);
  EXPECT_EQ(report.computed, 0);
  EXPECT_EQ(Groups(report), expected);
  // The place in path order is no part of a key: other records added or removed move it.
  for (const char* path : {"/p/a.jpg", "/p/b.jpg"}) {
    m_Db.FindByPath(path)->m_Signature[kSigFilePath] += 7;
  }
  EXPECT_EQ(RunEditDuplicateSearch(m_Db, m_Options).reused, 6);

  // A removed record leaves the cache, a changed one is described again.
  m_Db.RemoveRecord(m_Db.FindByPath("/p/c.jpg"));
  m_Db.AddRecord(RecordOf("/p/b-turned.jpg", PhotoLike(4)), false);
  report = RunEditDuplicateSearch(m_Db, m_Options);
  EXPECT_EQ(report.reused, 4);
  EXPECT_EQ(report.computed, 1);
  EXPECT_EQ(Groups(report), std::vector<std::set<std::string>>{expected[0]});
  std::vector<EditCacheEntry> entries;
  EXPECT_EQ(ReadEditCache(m_Options.cachePath, &entries), EditCacheState::kRead);
  EXPECT_EQ(entries.size(), 5u);

  // A damaged cache is set aside and written anew.
  std::ofstream(m_Options.cachePath, std::ios::trunc) << "not a cache";
  report = RunEditDuplicateSearch(m_Db, m_Options);
  EXPECT_EQ(report.cacheState, EditCacheState::kDamaged);
  EXPECT_EQ(report.computed, 5);
  EXPECT_EQ(Groups(report).size(), 1u);
  EXPECT_EQ(ReadEditCache(m_Options.cachePath, &entries), EditCacheState::kRead);
}

TEST_F(EditSearch, ACancelledSearchLeavesNoGroups) {
  m_Options.progress = [](const std::string&, int) { return false; };
  EXPECT_FALSE(RunEditDuplicateSearch(m_Db, m_Options).finished);
  EXPECT_EQ(m_Db.GroupList().count, 0u);
}

}  // namespace
}  // namespace gq
