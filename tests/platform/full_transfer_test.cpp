#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/FullTransfer.h"

namespace gq {
namespace {

// Each step of a script: the bytes one call moves, or -errno for a failed call.
size_t RunScript(const std::vector<int>& script, size_t size) {
  size_t call = 0;
  return TransferUpTo(size, [&](size_t, size_t left) -> ssize_t {
    int result = call < script.size() ? script[call++] : static_cast<int>(left);
    if (result >= 0) return result;
    errno = -result;
    return -1;
  });
}

TEST(FullTransfer, RetriesInterruptionsAndPartialMovesUntilTheEndOrAFailure) {
  struct Case {
    const char* what;
    std::vector<int> script;
    size_t expected;
  } cases[] = {
      {"in one call", {}, 10},
      {"interrupted twice, then whole", {-EINTR, -EINTR}, 10},
      {"in pieces", {3, 4, 3}, 10},
      {"interrupted between pieces", {3, -EINTR, 7}, 10},
      {"the file ends early", {6, 0}, 6},
      {"a real failure stops at once", {2, -EIO, 8}, 2},
  };
  for (const Case& c : cases) EXPECT_EQ(RunScript(c.script, 10), c.expected) << c.what;
}

TEST(FullTransfer, MovesMoreThanAPipeHoldsThroughPartialTransfers) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string sent(1 << 20, '\0');
  for (size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>(i * 7);
  bool written = false;
  std::thread writer([&] {
    written = WriteAll(fds[1], sent.data(), sent.size());
    close(fds[1]);
  });
  std::string received(sent.size() + 100, '\0');
  size_t got = ReadUpTo(fds[0], received.data(), received.size());
  writer.join();
  close(fds[0]);
  EXPECT_TRUE(written);
  ASSERT_EQ(got, sent.size());
  EXPECT_EQ(received.substr(0, got), sent);
}

}  // namespace
}  // namespace gq
