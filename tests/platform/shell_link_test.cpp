// The Shell Link reader on hand-made bytes: a link written by another program (with an
// item ID list and a common path suffix) and hostile files whose sizes and offsets
// point outside what they hold.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/ShellLink.h"

namespace gq {
namespace {

void Put32(std::string* to, uint32_t value) {
  for (int i = 0; i < 4; ++i) *to += static_cast<char>(value >> (8 * i));
}

// The fields of a Shell Link file that the reader looks at.
struct LinkFields {
  uint32_t headerSize = 0x4C;
  bool goodClassId = true;
  uint32_t flags = 0x3;            // has an item ID list and a LinkInfo
  uint32_t idListSize = 6;         // bytes of the item ID list after its size field
  uint32_t infoSizeDelta = 0;      // added to the LinkInfo size that fits its content
  uint32_t infoFlags = 0x1;        // volume ID and local base path
  uint32_t baseOffsetDelta = 0;    // added to the offset of the local base path
  uint32_t suffixOffsetDelta = 0;  // added to the offset of the common path suffix
  std::string base = "/pictures/";
  std::string suffix = "beach.jpg";
  bool terminateBase = true;
};

std::string LinkBytes(const LinkFields& fields) {
  std::string bytes;
  Put32(&bytes, fields.headerSize);
  const unsigned char classId[16] = {0x01, 0x14, 0x02, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46};
  for (unsigned char c : classId) bytes += static_cast<char>(fields.goodClassId ? c : c ^ 0xFF);
  Put32(&bytes, fields.flags);
  bytes.resize(0x4C, '\0');  // attributes, times, size, icon, show command, hot key
  if (fields.flags & 1) {
    bytes += static_cast<char>(fields.idListSize & 0xFF);
    bytes += static_cast<char>(fields.idListSize >> 8);
    bytes += std::string(6, '\x01');
  }
  const uint32_t baseOffset = 28 + fields.baseOffsetDelta;
  const uint32_t suffixOffset =
      28 + static_cast<uint32_t>(fields.base.size()) + 1 + fields.suffixOffsetDelta;
  const uint32_t infoSize = 28 + static_cast<uint32_t>(fields.base.size() + fields.suffix.size()) +
                            2 + fields.infoSizeDelta;
  Put32(&bytes, infoSize);
  Put32(&bytes, 28);  // header size
  Put32(&bytes, fields.infoFlags);
  Put32(&bytes, 0);  // volume ID offset (not read)
  Put32(&bytes, baseOffset);
  Put32(&bytes, 0);  // network link offset
  Put32(&bytes, suffixOffset);
  bytes += fields.base;
  if (fields.terminateBase) bytes += '\0';
  bytes += fields.suffix;
  bytes += '\0';
  Put32(&bytes, 0);  // terminal block
  return bytes;
}

TEST(ShellLinkBytes, ALinkFromAnotherWriterGivesBaseAndSuffix) {
  std::string target;
  ASSERT_TRUE(ParseShellLinkBytes(LinkBytes({}), &target));
  EXPECT_EQ(target, "/pictures/beach.jpg");

  LinkFields noSuffix;
  noSuffix.base = "/pictures/sea.png";
  noSuffix.suffix = "";
  ASSERT_TRUE(ParseShellLinkBytes(LinkBytes(noSuffix), &target));
  EXPECT_EQ(target, "/pictures/sea.png");
}

TEST(ShellLinkBytes, HostileSizesAndOffsetsAreRefused) {
  struct Case {
    const char* what;
    LinkFields fields;
  };
  auto with = [](auto change) {
    LinkFields fields;
    change(fields);
    return fields;
  };
  const Case cases[] = {
      {"header size", with([](LinkFields& f) { f.headerSize = 0x4D; })},
      {"class id", with([](LinkFields& f) { f.goodClassId = false; })},
      {"no LinkInfo", with([](LinkFields& f) { f.flags = 0x1; })},
      {"ID list past the end", with([](LinkFields& f) { f.idListSize = 0xFFFF; })},
      {"LinkInfo past the end", with([](LinkFields& f) { f.infoSizeDelta = 5; })},
      {"LinkInfo size huge", with([](LinkFields& f) { f.infoSizeDelta = 0xFFFFFF00u; })},
      {"no local base path", with([](LinkFields& f) { f.infoFlags = 0x2; })},
      {"base offset past LinkInfo", with([](LinkFields& f) { f.baseOffsetDelta = 200; })},
      {"base offset huge", with([](LinkFields& f) { f.baseOffsetDelta = 0x7FFFFFF0u; })},
      {"base offset in the header", with([](LinkFields& f) { f.baseOffsetDelta = 0xFFFFFFF0u; })},
      {"suffix offset in the header",
       with([](LinkFields& f) { f.suffixOffsetDelta = 0xFFFFFFF0u - 10; })},
      {"empty target", with([](LinkFields& f) { f.base = f.suffix = ""; })},
  };
  for (const Case& c : cases) {
    std::string target = "unchanged";
    EXPECT_FALSE(ParseShellLinkBytes(LinkBytes(c.fields), &target)) << c.what;
  }
  // A base path whose zero byte lies outside the LinkInfo is refused: the LinkInfo ends
  // right after the base text.
  LinkFields unterminated;
  unterminated.suffix = "";
  unterminated.terminateBase = false;
  unterminated.infoSizeDelta = static_cast<uint32_t>(-2);
  std::string target;
  EXPECT_FALSE(ParseShellLinkBytes(LinkBytes(unterminated), &target));
  // Every truncation of a good link is refused.
  const std::string good = LinkBytes({});
  for (size_t length = 0; length + 4 < good.size(); ++length) {
    EXPECT_FALSE(ParseShellLinkBytes(good.substr(0, length), &target)) << "length " << length;
  }
}

}  // namespace
}  // namespace gq
