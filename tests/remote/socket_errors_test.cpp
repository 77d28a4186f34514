#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <thread>

#include "remote/SocketErrors.h"

namespace gq {
namespace {

std::string ReportOf(const char* context) {
  testing::internal::CaptureStderr();
  ReportSocketError(context);
  return testing::internal::GetCapturedStderr();
}

TEST(SocketErrorTable, RowsCodesAndDescriptions) {
  ASSERT_EQ(SocketErrorTableSize(), 63);
  const SocketErrorEntry* table = SocketErrorTable();
  for (int i = 1; i < SocketErrorTableSize(); ++i) {
    EXPECT_LE(table[i - 1].code, table[i].code) << "row " << i;
  }
  // 10035 to 10071 without a gap; described except EPROCLIM; no other row is described.
  for (int code = 10035; code <= 10071; ++code) {
    const SocketErrorEntry* entry = FindSocketError(code);
    ASSERT_NE(entry, nullptr) << code;
    EXPECT_EQ(entry->description == nullptr, code == 10067) << entry->name;
  }
  int described = 0;
  for (int i = 0; i < SocketErrorTableSize(); ++i) described += table[i].description != nullptr;
  EXPECT_EQ(described, 36);

  struct Expected {
    int32_t code;
    const char* name;
    const char* description;
  };
  const Expected rows[] = {
      {10004, "EINTR", nullptr},
      {10035, "EWOULDBLOCK", "Resource temporarily unavailable"},
      {10036, "EINPROGRESS", "operation now in progress"},
      {10037, "EALREADY", "operation already in progress"},
      {10048, "EADDRINUSE", "Address already in use"},
      {10060, "ETIMEDOUT", "Connection timed out"},
      {10061, "ECONNREFUSED", "Connection refused"},
      {10063, "ENAMETOOLONG", "path name is too long"},
      {10066, "ENOTEMPTY", "directory not empty"},
      {10067, "EPROCLIM", nullptr},
      {10068, "EUSERS", "Too many users (for UFS)"},
      {10069, "EDQUOT", "Disc quota exceeded"},
      {10071, "EREMOTE", "Identifier removed"},
      {10093, "NOTINITIALISED", nullptr},
      {10108, "SERVICE_NOT_FOUND", nullptr},
      {10110, "_E_NO_MORE", nullptr},
      {10112, "EREFUSED", nullptr},
      {11001, "HOST_NOT_FOUND", nullptr},
      {11004, "NO_DATA", nullptr},  // the first of the two 11004 rows wins
  };
  for (const Expected& row : rows) {
    const SocketErrorEntry* entry = FindSocketError(row.code);
    ASSERT_NE(entry, nullptr) << row.code;
    EXPECT_STREQ(entry->name, row.name);
    if (row.description) {
      EXPECT_STREQ(entry->description, row.description) << row.name;
    } else {
      EXPECT_EQ(entry->description, nullptr) << row.name;
    }
  }
  EXPECT_STREQ(table[SocketErrorTableSize() - 1].name, "NO_ADDRESS");
  for (int32_t absent : {0, 10000, 10034, 10072, 10100, 10113, 11005}) {
    EXPECT_EQ(FindSocketError(absent), nullptr) << absent;
  }
}

TEST(SocketErrorTable, ErrnoMapsToTheWinsockCode) {
  EXPECT_EQ(WinsockCodeFromErrno(EADDRINUSE), 10048);
  EXPECT_EQ(WinsockCodeFromErrno(ECONNREFUSED), 10061);
  EXPECT_EQ(WinsockCodeFromErrno(EAGAIN), 10035);
  EXPECT_EQ(WinsockCodeFromErrno(EPIPE), 10054);
  EXPECT_EQ(WinsockCodeFromErrno(EREMOTE), 10071);
  EXPECT_EQ(WinsockCodeFromErrno(EINTR), 10004);
  EXPECT_EQ(WinsockCodeFromErrno(EIO), EIO);  // no counterpart
}

TEST(SocketErrorReporter, ThreeLineFormatsAndClearing) {
  EXPECT_EQ(ReportOf("nothing pending"), "");

  SetPendingSocketError(EADDRINUSE);
  EXPECT_EQ(PendingSocketError(), 10048);
  EXPECT_EQ(ReportOf("binding stream socket"),
            "binding stream socket: " + std::string(std::strerror(EADDRINUSE)) +
                "\nbinding stream socket: Address already in use (EADDRINUSE,10048)\n");
  EXPECT_EQ(PendingSocketError(), 0);
  EXPECT_EQ(ReportOf("again"), "");

  SetPendingSocketError(EBADF);
  EXPECT_EQ(ReportOf("accept() connection"),
            "accept() connection: " + std::string(std::strerror(EBADF)) +
                "\naccept() connection: error EBADF (10009)\n");

  SetPendingSocketError(EIO);
  EXPECT_EQ(ReportOf("listen"),
            "listen: " + std::string(std::strerror(EIO)) + "\nlisten: unknown error (5)\n");

  SetPendingLookupError(EAI_NONAME, 0);
  EXPECT_EQ(ReportOf("lookup"), "lookup: " + std::string(gai_strerror(EAI_NONAME)) +
                                    "\nlookup: error HOST_NOT_FOUND (11001)\n");
  SetPendingLookupError(EAI_SYSTEM, ECONNREFUSED);
  EXPECT_EQ(PendingSocketError(), 10061);
  ClearPendingSocketError();
  EXPECT_EQ(ReportOf("cleared"), "");
}

TEST(SocketErrorReporter, LongContextIsCutAt1024Bytes) {
  std::string context(3000, 'c');
  SetPendingSocketError(ECONNRESET);
  std::string output = ReportOf(context.c_str());
  size_t firstEnd = output.find('\n');
  ASSERT_NE(firstEnd, std::string::npos);
  EXPECT_EQ(firstEnd, 1022u);           // 1023 bytes with the line feed
  EXPECT_EQ(output.size(), 2 * 1023u);  // the second line is cut as well
  EXPECT_EQ(output.back(), '\n');
}

TEST(SocketErrorReporter, PendingErrorBelongsToItsThread) {
  SetPendingSocketError(ETIMEDOUT);
  int32_t seenByOther = -1;
  std::thread other([&seenByOther] {
    seenByOther = PendingSocketError();
    SetPendingSocketError(ECONNRESET);
  });
  other.join();
  EXPECT_EQ(seenByOther, 0);
  EXPECT_EQ(PendingSocketError(), 10060);
  ClearPendingSocketError();
}

}  // namespace
}  // namespace gq
