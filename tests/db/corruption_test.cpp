// Damaged database files: every truncation length and random byte flips of a small
// saved collection. Each load either fails cleanly or loads records that are whole;
// nothing crashes and no load allocates beyond what the file's size justifies.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

class CorruptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = test::FolderForThisTest("corrupt_");
    m_Path = m_Folder + "/c.gqdb";
    ImageRecordDB db;
    for (int i = 0; i < 4; ++i) {
      db.AddRecord(test::MakeTestRecord("/x/" + std::to_string(i) + ".jpg", i, 6, 5), false);
    }
    ASSERT_TRUE(SaveDatabase(db, m_Path, false));
    std::ifstream in(m_Path, std::ios::binary);
    m_Bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  // Loads bytes as the database file; returns the number of records loaded (-1: failed)
  // after reading every thumbnail back.
  int Load(const std::string& bytes) {
    std::ofstream(m_Path, std::ios::binary | std::ios::trunc) << bytes;
    ImageRecordDB db;
    bool loaded = LoadDatabase(db, m_Path, 0, 1);
    int count = loaded ? db.Count() : -1;
    for (ImageRecord* record : db.Records()) {
      if (db.LoadThumbnail(record)) {
        EXPECT_LE(record->m_ThumbWidth, kMaxStoredThumbnailSide);
        EXPECT_LE(record->m_ThumbHeight, kMaxStoredThumbnailSide);
      }
    }
    db.ClearAll();
    return count;
  }

  test::ScriptedMessageBox m_Boxes;  // answers every prompt with its default
  std::string m_Folder;
  std::string m_Path;
  std::string m_Bytes;
};

TEST_F(CorruptionTest, EveryTruncationFailsOrLoadsWholeRecords) {
  ASSERT_EQ(Load(m_Bytes), 4);
  for (size_t length = 0; length < m_Bytes.size(); ++length) {
    int count = Load(m_Bytes.substr(0, length));
    EXPECT_LT(count, 4) << "length " << length;
  }
}

TEST_F(CorruptionTest, RandomByteFlipsNeverCrash) {
  std::mt19937 random(20261207);
  int failed = 0;
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = m_Bytes;
    for (int flips = 1 + random() % 4; flips > 0; --flips) {
      bytes[random() % bytes.size()] ^= static_cast<char>(1 + random() % 255);
    }
    failed += Load(bytes) < 0;
  }
  EXPECT_GT(failed, 0);
}

TEST_F(CorruptionTest, ExtremeHeaderFieldsAllocateNothingLarge) {
  auto with = [&](size_t offset, int64_t value, int bytes) {
    std::string copy = m_Bytes;
    std::memcpy(copy.data() + offset, &value, static_cast<size_t>(bytes));
    return copy;
  };
  EXPECT_EQ(Load(with(12, 0x7fffffff, 4)), -1);        // record count 2^31-1
  EXPECT_EQ(Load(with(24, -1, 8)), -1);                // list offset negative
  EXPECT_EQ(Load(with(24, int64_t{1} << 40, 8)), -1);  // list offset past the end
  EXPECT_EQ(Load(with(4, 7, 4)), -1);                  // version 7
  EXPECT_EQ(Load(with(8, 0, 4)), -1);                  // wrong constant
  // A path length of 2^31-1 in the first record.
  int64_t listOffset;
  std::memcpy(&listOffset, m_Bytes.data() + 24, 8);
  EXPECT_EQ(Load(with(static_cast<size_t>(listOffset), 0x7fffffff, 4)), -1);
  // Thumbnail sizes above 1024 or a byte count that disagrees: the record loads but its
  // thumbnail is not read.
  EXPECT_EQ(Load(with(32, 5000, 4)), 4);
  EXPECT_EQ(Load(with(40, 12345, 4)), 4);
}

}  // namespace
}  // namespace gq
