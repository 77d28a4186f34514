#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "edits/EditCache.h"
#include "edits/EditsTestSupport.h"

namespace gq {
namespace {

class EditCacheFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "gqeditsXXXXXX").string();
    m_Folder = mkdtemp(pattern.data());
    m_Path = m_Folder + "/set.gqdb.edits";
    for (int i = 0; i < 3; ++i) {
      EditCacheEntry& entry = m_Entries.emplace_back();
      entry.key = {"/pictures/" + std::to_string(i) + ".jpg", 1000 + i, 640, 480,
                   0x1234567890abcdefull + i};
      entry.descriptor = test::DescriptorOf(test::PhotoLike(i + 1, 120, 90));
    }
  }
  void TearDown() override { std::filesystem::remove_all(m_Folder); }
  bool Write() {
    std::vector<const EditCacheEntry*> pointers;
    for (const EditCacheEntry& entry : m_Entries) pointers.push_back(&entry);
    std::string error;
    return WriteEditCache(m_Path, pointers, &error);
  }
  std::string m_Folder, m_Path;
  std::vector<EditCacheEntry> m_Entries;
};

TEST_F(EditCacheFile, ReadsBackWhatWasWritten) {
  std::vector<EditCacheEntry> read(1);
  EXPECT_EQ(ReadEditCache(m_Path, &read), EditCacheState::kMissing);
  EXPECT_TRUE(read.empty());
  ASSERT_TRUE(Write());
  ASSERT_EQ(ReadEditCache(m_Path, &read), EditCacheState::kRead);
  ASSERT_EQ(read.size(), m_Entries.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_EQ(read[i].key, m_Entries[i].key);
    EXPECT_EQ(std::memcmp(&read[i].descriptor, &m_Entries[i].descriptor, sizeof(EditDescriptor)),
              0);
  }
}

// A damaged or foreign file reads as empty, whatever part is hit.
TEST_F(EditCacheFile, DamageReadsAsEmpty) {
  ASSERT_TRUE(Write());
  std::ifstream in(m_Path, std::ios::binary);
  const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const struct {
    const char* damage;
    std::function<std::string(std::string)> apply;
  } cases[] = {
      {"empty", [](std::string) { return std::string(); }},
      {"one byte short", [](std::string s) { return s.substr(0, s.size() - 1); }},
      {"one byte more", [](std::string s) { return s + '\0'; }},
      {"other magic", [](std::string s) { return s.replace(0, 1, "X"); }},
      {"other version", [](std::string s) { return s.replace(8, 1, "\x02"); }},
      {"a descriptor byte changed",
       [](std::string s) {
         return s.replace(s.size() / 2, 1, 1, static_cast<char>(s[s.size() / 2] ^ 1));
       }},
      {"another entry count", [](std::string s) { return s.replace(16, 1, "\x7f"); }},
  };
  for (const auto& c : cases) {
    std::ofstream(m_Path, std::ios::binary | std::ios::trunc) << c.apply(good);
    std::vector<EditCacheEntry> read;
    EXPECT_EQ(ReadEditCache(m_Path, &read), EditCacheState::kDamaged) << c.damage;
    EXPECT_TRUE(read.empty()) << c.damage;
  }
}

}  // namespace
}  // namespace gq
