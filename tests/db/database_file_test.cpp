#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "db/ByteStream.h"
#include "db/DatabaseFile.h"
#include "db/DatabaseOps.h"
#include "db/DbTestSupport.h"
#include "db/FileLayer.h"
#include "db/RecordCodec.h"
#include "support/ScriptedMessageBox.h"

namespace gq {
namespace {

using test::MakeTestRecord;
using test::PictureOf;

class DatabaseFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_Folder = test::FolderForThisTest("dbfile_");
    m_Path = m_Folder + "/collection.gqdb";
  }
  // A saved collection of count records, each thumbnail w x h.
  std::map<std::string, test::RecordPicture> SaveCollection(int count, int w = 12, int h = 9) {
    ImageRecordDB db;
    for (int i = 0; i < count; ++i) {
      db.AddRecord(MakeTestRecord("/pics/" + std::to_string(i) + ".jpg", i, w, h), false);
    }
    EXPECT_TRUE(SaveDatabase(db, m_Path, false));
    EXPECT_TRUE(db.IsClean());
    return PictureOf(db);
  }
  DbHeader HeaderOnDisk() {
    unsigned char bytes[kDbHeaderSize] = {};
    std::ifstream(m_Path, std::ios::binary).read(reinterpret_cast<char*>(bytes), sizeof bytes);
    return DecodeHeader(bytes);
  }
  int64_t SizeOnDisk() {
    std::ifstream in(m_Path, std::ios::binary | std::ios::ate);
    return static_cast<int64_t>(in.tellg());
  }

  test::ScriptedMessageBox m_Boxes;
  std::string m_Folder;
  std::string m_Path;
};

TEST_F(DatabaseFileTest, FirstSaveWritesHeaderThumbnailsThenTheList) {
  auto saved = SaveCollection(3, 12, 9);
  DbHeader header = HeaderOnDisk();
  EXPECT_EQ(header.magic, kDbMagic);
  EXPECT_EQ(header.version, 6);
  EXPECT_EQ(header.recordCount, 3);
  EXPECT_EQ(header.unusedBytes, 0);
  // 12 x 9 pixels: rows of 36 bytes.
  EXPECT_EQ(header.listOffset, 32 + 3 * (12 + 36 * 9));
  EXPECT_FALSE(FileExists(RecoveryJournal::PathFor(m_Path)));

  ImageRecordDB loaded;
  ASSERT_TRUE(LoadDatabase(loaded, m_Path, 0, 1));
  EXPECT_TRUE(loaded.IsClean());
  EXPECT_EQ(PictureOf(loaded), saved);
}

TEST_F(DatabaseFileTest, RemovedThumbnailsStayAsUnusedBytesAndAppendsOverwriteTheOldList) {
  SaveCollection(4);
  int64_t listOffset = HeaderOnDisk().listOffset;
  {
    ImageRecordDB db;
    ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
    db.RemoveRecord(db.FindByPath("/pics/1.jpg"));
    ImageRecord* added = MakeTestRecord("/pics/new.jpg", 77);
    db.AddRecord(added, false);
    ASSERT_TRUE(db.PageOut(added));
    EXPECT_EQ(added->m_ThumbOffset, listOffset);  // where the old list began
    ASSERT_TRUE(SaveDatabase(db, std::string(), false));
  }
  DbHeader header = HeaderOnDisk();
  EXPECT_EQ(header.recordCount, 4);
  EXPECT_EQ(header.unusedBytes, 36 * 9);
  EXPECT_EQ(header.listOffset, listOffset + 12 + 36 * 9);
  ImageRecordDB db;
  ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
  EXPECT_NE(db.FindByPath("/pics/new.jpg"), nullptr);
  EXPECT_EQ(db.FindByPath("/pics/1.jpg"), nullptr);
  EXPECT_EQ(LoadedDatabaseText(db.File().UnusedBytes()), "Loaded Database.");
}

TEST_F(DatabaseFileTest, SaveAsCopyIsCompactAndBecomesTheOpenDatabase) {
  SaveCollection(5);
  std::string copy = m_Folder + "/copy.gqdb";
  ImageRecordDB db;
  ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
  db.RemoveRecord(db.FindByPath("/pics/2.jpg"));
  ASSERT_TRUE(SaveDatabase(db, std::string(), false));
  auto expected = PictureOf(db);
  ASSERT_TRUE(SaveDatabase(db, copy, false));
  EXPECT_EQ(db.File().Name(), copy);
  EXPECT_EQ(db.File().UnusedBytes(), 0);
  EXPECT_EQ(PictureOf(db), expected);
  m_Path = copy;
  EXPECT_EQ(SizeOnDisk(), HeaderOnDisk().listOffset + 4 * (4 + 12 + 8 + 5 + 12 + 4 + 206));
}

TEST_F(DatabaseFileTest, ASecondOpenOfTheSameFileIsRefused) {
  SaveCollection(2);
  ImageRecordDB first;
  ASSERT_TRUE(LoadDatabase(first, m_Path, 0, 1));
  ImageRecordDB second;
  EXPECT_FALSE(LoadDatabase(second, m_Path, 0, 1));
  EXPECT_EQ(second.File().LastError(), "the database is open in another program");
}

TEST_F(DatabaseFileTest, DamagedHeadersFailWithTheirMessages) {
  SaveCollection(2);
  std::string original;
  {
    std::ifstream in(m_Path, std::ios::binary);
    original.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  auto withHeader = [&](int offset, int32_t value) {
    std::string bytes = original;
    std::memcpy(bytes.data() + offset, &value, 4);
    std::ofstream(m_Path, std::ios::binary | std::ios::trunc) << bytes;
  };
  struct Case {
    int offset;
    int32_t value;
    const char* message;
  } cases[] = {
      {0, 0x12345678, nullptr},  // magic
      {4, 7, "Error: new DB format not known to this version of GlimmerQuorum"},
      {4, 3, nullptr},
      {8, 2, nullptr},            // constant
      {12, 0x7fffffff, nullptr},  // record count far beyond the file
      {24, -5, nullptr},          // list offset negative (low word)
      {24, 0x7ffffff0, nullptr},  // list offset past the end
  };
  for (const Case& c : cases) {
    withHeader(c.offset, c.value);
    size_t boxes = m_Boxes.Boxes().size();
    ImageRecordDB db;
    EXPECT_FALSE(LoadDatabase(db, m_Path, 0, 1)) << c.offset << "=" << c.value;
    EXPECT_FALSE(db.File().IsOpen());  // records read before the damage may stay
    if (c.message) {
      ASSERT_EQ(m_Boxes.Boxes().size(), boxes + 1);
      EXPECT_EQ(m_Boxes.Texts().back(), c.message);
    } else {
      EXPECT_EQ(m_Boxes.Boxes().size(), boxes) << c.offset;
    }
  }
}

// Writes a version 5 file by hand: header, thumbnail blocks, records without the
// reserved block and picture size, with a signature block of another length.
void WriteVersion5(const std::string& path, int count) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
  FileByteStream out(fd, 0);
  unsigned char header[kDbHeaderSize] = {};
  out.WriteAll(header, sizeof header);
  std::vector<int64_t> offsets;
  for (int i = 0; i < count; ++i) {
    ImageRecord* record = test::MakeTestRecord("/old/" + std::to_string(i) + ".bmp", i, 8, 8);
    offsets.push_back(out.Position());
    WriteThumbnailBlock(out, *record);
    DestroyRecord(record);
  }
  int64_t listOffset = out.Position();
  for (int i = 0; i < count; ++i) {
    std::string path = "/old/" + std::to_string(i) + ".bmp";
    int32_t length = static_cast<int32_t>(path.size() + 1);
    out.WriteAll(&length, 4);
    out.WriteAll(path.c_str(), path.size() + 1);
    out.WriteAll(&offsets[i], 8);
    int32_t time = 1234;
    out.WriteAll(&time, 4);
    int32_t signatureLength = 10;
    out.WriteAll(&signatureLength, 4);
    out.WriteAll("0123456789", 10);
  }
  DbHeader h;
  h.version = 5;
  h.recordCount = count;
  h.unusedBytes = 999;
  h.listOffset = listOffset;
  EncodeHeader(h, header);
  out.SeekTo(0);
  out.WriteAll(header, sizeof header);
  out.Flush();
  ::close(fd);
}

TEST_F(DatabaseFileTest, OldVersionsAreConvertedOnlyAfterOk) {
  WriteVersion5(m_Path, 3);
  m_Boxes.Answer(IDCANCEL);
  ImageRecordDB refused;
  EXPECT_FALSE(LoadDatabase(refused, m_Path, 0, 1));
  EXPECT_EQ(m_Boxes.Texts().back(),
            "Warning: old DB format.\nConverting to new format takes time and can't be "
            "cancelled.\nConvert to new format?");
  refused.ClearAll();

  m_Boxes.Answer(IDOK);
  ImageRecordDB db;
  db.Host().pictureSize = [](const std::string&, int32_t* w, int32_t* h) {
    *w = 640;
    *h = 480;
    return true;
  };
  ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
  EXPECT_EQ(db.Count(), 3);
  EXPECT_FALSE(db.IsClean());  // converted: closing asks to save
  EXPECT_EQ(db.File().UnusedBytes(), 0);
  ImageRecord* record = db.FindByPath("/old/1.bmp");
  ASSERT_NE(record, nullptr);
  EXPECT_EQ(record->m_PictureWidth, 640);
  EXPECT_EQ(record->m_FileTime, 1234);
  ASSERT_NE(record->m_ThumbPixels, nullptr);
  int16_t expected[kSignatureLength] = {};
  ComputeSignature(8, 8, record->m_ThumbPixels, 640, 480, expected);
  EXPECT_TRUE(std::equal(expected, expected + kComputedSignatureLength, record->m_Signature));
  ASSERT_TRUE(SaveDatabase(db, std::string(), false));
  EXPECT_EQ(HeaderOnDisk().version, 6);
}

TEST_F(DatabaseFileTest, AnOversizedStoredThumbnailIsNotReadAndFailsAMerge) {
  SaveCollection(2, 12, 9);
  // Make the first thumbnail block claim 2000 pixels of width.
  std::fstream file(m_Path, std::ios::binary | std::ios::in | std::ios::out);
  int32_t wide = 2000;
  file.seekp(32);
  file.write(reinterpret_cast<char*>(&wide), 4);
  file.close();

  ImageRecordDB db;
  std::vector<std::string> statuses;
  db.Host().statusText = [&](const std::string& text, int) { statuses.push_back(text); };
  ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1));
  ImageRecord* record = db.FindByPath("/pics/0.jpg");
  EXPECT_FALSE(db.LoadThumbnail(record));
  EXPECT_EQ(statuses.back(), "Error reading DB.");
  EXPECT_EQ(record->m_ThumbWidth, 0);
  db.ClearAll();

  ImageRecordDB other;
  other.AddRecord(MakeTestRecord("/mine.jpg", 5), false);
  ASSERT_TRUE(SaveDatabase(other, m_Folder + "/other.gqdb", false));
  EXPECT_FALSE(MergeDatabase(other, m_Path));
}

// A removed record whose thumbnail was never read frees the bytes its stored block
// head names; a damaged head frees none.
TEST_F(DatabaseFileTest, RemovingARecordFreesWhatItsStoredThumbnailHeadNames) {
  struct Case {
    const char* what;
    int64_t at;
    int32_t value;
    int64_t unused;
  } cases[] = {
      {"intact", 0, 0, 12 * 9 * 3},
      {"a side above the limit", 32, 2000, 0},
      {"a negative side", 36, -1, 0},
  };
  for (const Case& c : cases) {
    SaveCollection(1, 12, 9);
    if (c.at > 0) {
      std::fstream file(m_Path, std::ios::binary | std::ios::in | std::ios::out);
      file.seekp(c.at);
      file.write(reinterpret_cast<const char*>(&c.value), 4);
    }
    ImageRecordDB db;
    ASSERT_TRUE(LoadDatabase(db, m_Path, 0, 1)) << c.what;
    db.RemoveRecord(db.FindByPath("/pics/0.jpg"));
    EXPECT_EQ(db.File().UnusedBytes(), c.unused) << c.what;
  }
}

TEST_F(DatabaseFileTest, RecordsWithAnEmptyPathAreSkipped) {
  ImageRecordDB db;
  for (int i = 0; i < 3; ++i) db.AddRecord(MakeTestRecord("/e/" + std::to_string(i), i), false);
  ASSERT_TRUE(SaveDatabase(db, m_Path, false));
  db.ClearAll();
  // Rewrite the list with an empty-path record in the middle.
  ImageRecordDB loaded;
  ASSERT_TRUE(LoadDatabase(loaded, m_Path, 0, 1));
  int64_t listOffset = loaded.File().AppendPosition();
  std::vector<ImageRecord*> records = loaded.Records();
  int fd = loaded.File().Descriptor();
  FileByteStream out(fd, listOffset);
  out.SeekTo(listOffset);
  ImageRecord* empty = MakeRecord("");
  WriteRecord(out, *records[0]);
  WriteRecord(out, *empty);
  WriteRecord(out, *records[1]);
  WriteRecord(out, *records[2]);
  out.Flush();
  DestroyRecord(empty);
  loaded.ClearAll();

  ImageRecordDB again;
  ASSERT_TRUE(LoadDatabase(again, m_Path, 0, 1));
  EXPECT_EQ(again.Count(), 3);
}

TEST_F(DatabaseFileTest, MergeAddsTheOtherFilesRecordsAndRefusesItself) {
  SaveCollection(3);
  ImageRecordDB db;
  db.AddRecord(MakeTestRecord("/pics/1.jpg", 100), false);  // replaced by the merge
  db.AddRecord(MakeTestRecord("/mine.jpg", 101), false);
  std::string own = m_Folder + "/own.gqdb";
  ASSERT_TRUE(SaveDatabase(db, own, false));
  EXPECT_FALSE(MergeDatabase(db, own));
  ASSERT_TRUE(MergeDatabase(db, m_Path));
  EXPECT_EQ(db.Count(), 4);
  EXPECT_FALSE(db.IsClean());
  ImageRecord* merged = db.FindByPath("/pics/1.jpg");
  EXPECT_EQ(merged->m_ThumbOffset, -1);  // appended to the own file at the next save
  ASSERT_TRUE(SaveDatabase(db, std::string(), false));
  auto expected = PictureOf(db);
  db.ClearAll();
  EXPECT_EQ(test::PictureOfFile(own), expected);
}

}  // namespace
}  // namespace gq
