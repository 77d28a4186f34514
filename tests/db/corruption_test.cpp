// Damaged database files: every truncation length and random byte flips of a small
// saved collection. Each load either fails cleanly or loads records that are whole;
// nothing crashes and no load allocates beyond what the file's size justifies.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "db/DatabaseOps.h"
#include "db/DbFormat.h"
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
  // With pictures, also hands back what the loaded records hold.
  int Load(const std::string& bytes,
           std::map<std::string, test::RecordPicture>* pictures = nullptr) {
    std::ofstream(m_Path, std::ios::binary | std::ios::trunc) << bytes;
    ImageRecordDB db;
    bool loaded = LoadDatabase(db, m_Path, 0, 1);
    int count = loaded ? db.Count() : -1;
    if (pictures != nullptr) *pictures = test::PictureOf(db);
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

// How many of the pictures differ from the saved ones, by path.
int Differences(const std::map<std::string, test::RecordPicture>& saved,
                const std::map<std::string, test::RecordPicture>& loaded) {
  int differences = 0;
  for (const auto& [path, picture] : saved) {
    auto found = loaded.find(path);
    differences += found == loaded.end() || !(found->second == picture);
  }
  return differences;
}

TEST_F(CorruptionTest, EveryTruncationFailsTheLoad) {
  ASSERT_EQ(Load(m_Bytes), 4);
  for (size_t length = 0; length < m_Bytes.size(); ++length) {
    EXPECT_EQ(Load(m_Bytes.substr(0, length)), -1) << "length " << length;
  }
}

// A flipped byte in the file's identity fails the load; one in a thumbnail's pixels or
// in the last record's signature (the file's last bytes) loads every record, and only
// the record it hit differs. Blocks of 1 to 4 random flips anywhere never crash.
TEST_F(CorruptionTest, RandomByteFlipsFailOrChangeOnlyWhatTheyHit) {
  std::map<std::string, test::RecordPicture> saved, loaded;
  ASSERT_EQ(Load(m_Bytes, &saved), 4);
  const size_t firstPixel = kDbHeaderSize + 12;  // the first thumbnail block: 6 x 5 pixels
  const size_t pixelBytes = static_cast<size_t>(ThumbnailBytes(6, 5));
  const size_t signatureBytes = 2 * kComputedSignatureLength;
  std::mt19937 random(20261207);
  auto flipped = [&](size_t offset) {
    std::string bytes = m_Bytes;
    bytes[offset] ^= static_cast<char>(1 + random() % 255);
    return bytes;
  };
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    EXPECT_EQ(Load(flipped(random() % kDbIdentitySize)), -1);
    ASSERT_EQ(Load(flipped(firstPixel + random() % pixelBytes), &loaded), 4);
    EXPECT_EQ(Differences(saved, loaded), 1);
    ASSERT_EQ(Load(flipped(m_Bytes.size() - 1 - random() % signatureBytes), &loaded), 4);
    EXPECT_EQ(Differences(saved, loaded), 1);
  }
  for (int round = 0; round < 1500; ++round) {
    std::string bytes = m_Bytes;
    for (int flips = 1 + random() % 4; flips > 0; --flips) {
      bytes[random() % bytes.size()] ^= static_cast<char>(1 + random() % 255);
    }
    EXPECT_LE(Load(bytes), 4) << "round " << round;
  }
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
