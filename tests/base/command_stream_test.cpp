#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "base/CommandStream.h"

namespace gq {
namespace {

// Two connected TCP sockets on 127.0.0.1, closed on destruction.
struct LoopbackPair {
  int a = -1;
  int b = -1;

  LoopbackPair() {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(listen(listener, 1), 0);
    EXPECT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    a = socket(AF_INET, SOCK_STREAM, 0);
    EXPECT_EQ(connect(a, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    b = accept(listener, nullptr, nullptr);
    EXPECT_GE(b, 0);
    close(listener);
  }
  ~LoopbackPair() {
    CloseA();
    CloseB();
  }
  void CloseA() {
    if (a >= 0) close(a);
    a = -1;
  }
  void CloseB() {
    if (b >= 0) close(b);
    b = -1;
  }
  CommandStream StreamA() const { return {a, kStreamSocket}; }
  CommandStream StreamB() const { return {b, kStreamSocket}; }
  void SendFromA(const std::string& bytes) const {
    ASSERT_EQ(send(a, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  }
};

struct Pipe {
  int readEnd = -1;
  int writeEnd = -1;
  Pipe() { EXPECT_EQ(pipe(&readEnd), 0); }
  ~Pipe() {
    CloseRead();
    CloseWrite();
  }
  void CloseRead() {
    if (readEnd >= 0) close(readEnd);
    readEnd = -1;
  }
  void CloseWrite() {
    if (writeEnd >= 0) close(writeEnd);
    writeEnd = -1;
  }
  CommandStream Reader() const { return {readEnd, kStreamFile}; }
  CommandStream Writer() const { return {writeEnd, kStreamFile}; }
  // Writes the bytes and closes the writing end, so the reader sees the end after them.
  void Feed(const std::string& bytes) {
    ASSERT_EQ(write(writeEnd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    CloseWrite();
  }
};

std::vector<std::string> AllLines(const CommandStream& stream) {
  std::vector<std::string> lines;
  std::string line;
  int32_t budget = kNoTimeLimit;
  while (ReadLine(stream, &line, &budget)) lines.push_back(line);
  EXPECT_TRUE(line.empty());
  return lines;
}

std::string LengthPrefixed(uint32_t length, const std::string& body) {
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<char>(length >> shift));
  return bytes + body;
}

int64_t MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               start)
      .count();
}

using Lines = std::vector<std::string>;

TEST(CommandStreamReadLine, LineEndsAndCarriageReturnRules) {
  struct Case {
    std::string bytes;
    Lines lines;
  };
  const Case cases[] = {
      {"abc\r\ndef\n", {"abc", "def"}},
      {"ab\rc\n", {"ab\rc"}},
      {std::string("one\0two\n", 8), {"one", "two"}},
      {"x\r", {"x\r"}},                    // a carriage return at the end is kept
      {"a\r\r\nb", {"a\r", "b"}},          // the second CR pairs with the LF
      {"\n\r\n", {"", ""}},                // empty lines are lines
      {"no line feed", {"no line feed"}},  // the end of the stream ends the line
      {"", {}},                            // no first byte: no line
  };
  for (const Case& c : cases) {
    Pipe pipe;
    pipe.Feed(c.bytes);
    EXPECT_EQ(AllLines(pipe.Reader()), c.lines) << "over \"" << c.bytes << "\"";
  }
}

TEST(CommandStreamReadLine, SocketLinesLeaveTheFollowingBytesUnread) {
  LoopbackPair pair;
  pair.SendFromA("known\r\nBIN");
  std::string line;
  int32_t budget = 1000;
  ASSERT_TRUE(ReadLine(pair.StreamB(), &line, &budget));
  EXPECT_EQ(line, "known");
  char rest[3];
  EXPECT_EQ(ReadExact(pair.StreamB(), rest, 3), 3);
  EXPECT_EQ(std::string(rest, 3), "BIN");
}

TEST(CommandStreamReadLine, BudgetRunsOutOnASilentPeer) {
  LoopbackPair pair;
  std::string line = "stale";
  int32_t budget = 200;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadLine(pair.StreamB(), &line, &budget));
  int64_t elapsed = MillisecondsSince(start);
  EXPECT_GE(elapsed, 190);
  EXPECT_LT(elapsed, 2000);
  EXPECT_LE(budget, 10);
  EXPECT_TRUE(line.empty());

  // A spent budget fails at once; a line that began before the budget ran out is kept.
  start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadLine(pair.StreamB(), &line, &budget));
  EXPECT_LT(MillisecondsSince(start), 100);
  pair.SendFromA("par");
  budget = 200;
  EXPECT_TRUE(ReadLine(pair.StreamB(), &line, &budget));
  EXPECT_EQ(line, "par");
  EXPECT_LE(budget, 10);
}

TEST(CommandStreamReadLine, NoTimeLimitWaitsForALateLine) {
  LoopbackPair pair;
  std::thread late([&pair] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    pair.SendFromA("late\n");
  });
  std::string line;
  int32_t budget = kNoTimeLimit;
  EXPECT_TRUE(ReadLine(pair.StreamB(), &line, &budget));
  late.join();
  EXPECT_EQ(line, "late");
  EXPECT_EQ(budget, kNoTimeLimit);
}

TEST(CommandStreamReadLine, RefusesALineLongerThanTheLimit) {
  Pipe pipe;
  pipe.Feed("12345\n123456\n");
  std::string line;
  int32_t budget = kNoTimeLimit;
  EXPECT_TRUE(ReadLine(pipe.Reader(), &line, &budget, 5));
  EXPECT_EQ(line, "12345");
  EXPECT_FALSE(ReadLine(pipe.Reader(), &line, &budget, 5));
  EXPECT_TRUE(line.empty());

  Pipe withReturn;
  withReturn.Feed("1234\r5");
  EXPECT_FALSE(ReadLine(withReturn.Reader(), &line, &budget, 5));
}

TEST(CommandStreamWaitReadable, BudgetRules) {
  LoopbackPair pair;
  int32_t budget = -1;
  EXPECT_FALSE(WaitReadable(pair.StreamB(), &budget));
  budget = 0;
  EXPECT_FALSE(WaitReadable(pair.StreamB(), &budget));
  EXPECT_EQ(budget, 0);
  budget = kNoTimeLimit;
  EXPECT_TRUE(WaitReadable(pair.StreamB(), &budget));  // nothing sent, yet "readable"
  EXPECT_EQ(budget, kNoTimeLimit);

  pair.SendFromA("x");
  budget = 0;
  EXPECT_TRUE(WaitReadable(pair.StreamB(), &budget));
  char byte;
  ASSERT_EQ(ReadSome(pair.StreamB(), &byte, 1), 1);

  pair.CloseA();  // the end of the stream counts as readable: the read then reports it
  budget = 1000;
  EXPECT_TRUE(WaitReadable(pair.StreamB(), &budget));
  EXPECT_EQ(ReadSome(pair.StreamB(), &byte, 1), 0);

  Pipe pipe;  // a file stream never waits, whatever the budget
  budget = -5;
  EXPECT_TRUE(WaitReadable(pipe.Reader(), &budget));
  EXPECT_EQ(budget, -5);
}

TEST(CommandStreamReadExact, ShortWhenThePeerClosesEarly) {
  LoopbackPair pair;
  pair.SendFromA("ab");
  pair.CloseA();
  char buffer[4];
  EXPECT_EQ(ReadExact(pair.StreamB(), buffer, 4), 2);
  EXPECT_EQ(std::string(buffer, 2), "ab");
}

TEST(CommandStreamReadExact, CollectsPiecesThatArriveApart) {
  LoopbackPair pair;
  std::thread dribble([&pair] {
    for (char c : std::string("pieces")) {
      pair.SendFromA(std::string(1, c));
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  });
  char buffer[6];
  EXPECT_EQ(ReadExact(pair.StreamB(), buffer, 6), 6);
  dribble.join();
  EXPECT_EQ(std::string(buffer, 6), "pieces");

  Pipe pipe;  // a pipe, like a socket, may deliver less than asked per read
  std::thread writer([&pipe] {
    ASSERT_EQ(write(pipe.writeEnd, "12", 2), 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pipe.Feed("34");
  });
  EXPECT_EQ(ReadExact(pipe.Reader(), buffer, 4), 4);
  writer.join();
  EXPECT_EQ(std::string(buffer, 4), "1234");
}

TEST(CommandStreamWrite, LargeWriteArrivesWhole) {
  LoopbackPair pair;
  std::string big(4 << 20, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 4096);
  std::string received(big.size(), '\0');
  std::thread reader(
      [&] { EXPECT_EQ(ReadExact(pair.StreamB(), received.data(), received.size()), 4 << 20); });
  EXPECT_EQ(Write(pair.StreamA(), big.data(), big.size()), 4 << 20);
  reader.join();
  EXPECT_TRUE(received == big);

  EXPECT_TRUE(WriteLine(pair.StreamA(), "!status: 0 - OK"));
  std::string line;
  int32_t budget = 1000;
  EXPECT_TRUE(ReadLine(pair.StreamB(), &line, &budget));
  EXPECT_EQ(line, "!status: 0 - OK");
}

// Runs the transfer on a thread. If it has not ended within a generous bound, the socket
// is shut down to end it, so a transfer that would wait for ever fails the test instead.
int64_t TransferEndingByItself(int socket, const std::function<int64_t()>& transfer) {
  std::packaged_task<int64_t()> task(transfer);
  std::future<int64_t> result = task.get_future();
  std::thread runner(std::move(task));
  bool ended = result.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!ended) shutdown(socket, SHUT_RDWR);
  runner.join();
  EXPECT_TRUE(ended) << "the transfer waited on a stalled peer";
  return ended ? result.get() : 0;
}

// With a stall limit, a peer that stops sending or reading midway ends the transfer; a
// reader that keeps taking receives the whole of a write larger than the socket buffers.
TEST(CommandStreamStallLimit, StalledPeerEndsTheTransferAMovingOneDoesNot) {
  LoopbackPair pair;
  CommandStream limited{pair.b, kStreamSocket, 100};
  char buffer[4];
  pair.SendFromA("ab");
  int error = 0;
  EXPECT_EQ(TransferEndingByItself(pair.b,
                                   [&] {
                                     int64_t got = ReadExact(limited, buffer, 4);
                                     error = errno;
                                     return got;
                                   }),
            -1);
  EXPECT_EQ(error, ETIMEDOUT);

  std::string big(16 << 20, 'x');  // more than both socket buffers hold
  EXPECT_EQ(TransferEndingByItself(pair.b, [&] { return Write(limited, big.data(), big.size()); }),
            -1);

  LoopbackPair moving;  // slow reads are covered by the server's split-session test
  CommandStream limitedToo{moving.b, kStreamSocket, 5000};
  std::string received(big.size(), '\0');
  std::thread reader([&] { ReadExact(moving.StreamA(), received.data(), received.size()); });
  EXPECT_EQ(Write(limitedToo, big.data(), big.size()), static_cast<int64_t>(big.size()));
  reader.join();
  EXPECT_TRUE(received == big);
}

bool SigpipePending() {
  sigset_t pending;
  sigpending(&pending);
  return sigismember(&pending, SIGPIPE) == 1;
}

TEST(CommandStreamWrite, VanishedReaderFailsWithoutSigpipe) {
  // The default action of SIGPIPE ends the process, so surviving is the check.
  LoopbackPair pair;
  pair.CloseB();
  std::string block(64 * 1024, 'x');
  int64_t result = 0;
  for (int i = 0; i < 100 && result >= 0; ++i)
    result = Write(pair.StreamA(), block.data(), block.size());
  EXPECT_LT(result, 0);
  EXPECT_FALSE(WriteLine(pair.StreamA(), "after close"));

  Pipe pipe;
  pipe.CloseRead();
  EXPECT_LT(Write(pipe.Writer(), "x", 1), 0);
  EXPECT_EQ(errno, EPIPE);
  EXPECT_FALSE(SigpipePending());
}

TEST(CommandStreamKindNone, EveryOperationFails) {
  CommandStream none;
  Pipe pipe;
  CommandStream noneOnARealDescriptor{pipe.writeEnd, kStreamNone};
  for (const CommandStream& stream : {none, noneOnARealDescriptor}) {
    char buffer[4];
    int32_t budget = kNoTimeLimit;
    std::string text;
    int64_t copied = 7;
    EXPECT_EQ(Write(stream, "ab", 2), -1);
    EXPECT_FALSE(WriteLine(stream, "line"));
    EXPECT_EQ(ReadSome(stream, buffer, 4), -1);
    EXPECT_EQ(ReadExact(stream, buffer, 4), -1);
    EXPECT_FALSE(WaitReadable(stream, &budget));
    EXPECT_FALSE(ReadLine(stream, &text, &budget));
    EXPECT_FALSE(ReadString(stream, &text, 100));
    EXPECT_FALSE(CopyTo(stream, pipe.Writer(), &copied));
    EXPECT_EQ(copied, 0);
    EXPECT_FALSE(CopyTo(pipe.Reader(), stream, &copied));
  }
  pipe.CloseWrite();
  char byte;
  EXPECT_EQ(read(pipe.readEnd, &byte, 1), 0);  // nothing was written through kind none
}

TEST(CommandStreamCopyTo, CopiesUntilTheSourceEnds) {
  LoopbackPair pair;
  std::string payload;
  for (int i = 0; i < 3000; ++i) payload += "/pictures/" + std::to_string(i) + ".jpg\n";
  std::thread sender([&] {
    pair.SendFromA(payload);
    pair.CloseA();
  });
  std::string path = ::testing::TempDir() + "/copy_target.txt";
  int file = open(path.c_str(), O_CREAT | O_TRUNC | O_RDWR, 0600);
  ASSERT_GE(file, 0);
  int64_t copied = 0;
  EXPECT_TRUE(CopyTo(pair.StreamB(), {file, kStreamFile}, &copied));
  sender.join();
  EXPECT_EQ(copied, static_cast<int64_t>(payload.size()));
  std::string back(payload.size(), '\0');
  EXPECT_EQ(pread(file, back.data(), back.size(), 0), static_cast<ssize_t>(payload.size()));
  EXPECT_EQ(back, payload);
  close(file);
}

TEST(CommandStreamCopyTo, ShortWriteAndBrokenSourceFail) {
  Pipe source;
  source.Feed("some bytes");
  Pipe target;
  target.CloseRead();
  int64_t copied = 0;
  EXPECT_FALSE(CopyTo(source.Reader(), target.Writer(), &copied));
  EXPECT_EQ(copied, 0);

  // A connection reset in the middle is no clean end: the copy must not look complete.
  LoopbackPair pair;
  pair.SendFromA("partial answer");
  linger abortive{1, 0};
  ASSERT_EQ(setsockopt(pair.a, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive), 0);
  pair.CloseA();
  Pipe sink;
  std::thread drain([&] {
    char buffer[256];
    while (read(sink.readEnd, buffer, sizeof buffer) > 0) {
    }
  });
  EXPECT_FALSE(CopyTo(pair.StreamB(), sink.Writer(), &copied));
  sink.CloseWrite();
  drain.join();
}

TEST(CommandStreamReadString, LengthsAndZeroBytes) {
  struct Case {
    std::string bytes;
    bool ok;
    std::string text;
  };
  const Case cases[] = {
      {LengthPrefixed(6, std::string("hello\0", 6)), true, "hello"},
      {LengthPrefixed(5, std::string("ab\0cd", 5)), true, "ab"},
      {LengthPrefixed(0, ""), true, ""},
      {LengthPrefixed(1, std::string(1, '\0')), true, ""},
      {LengthPrefixed(1, "x"), true, "x"},
      {LengthPrefixed(6, "short"), false, ""},                  // body ends early
      {std::string("\x05\x00", 2), false, ""},                  // length ends early
      {LengthPrefixed(0xffffffffu, "abc"), false, ""},          // negative length
      {LengthPrefixed(101, std::string(101, 'a')), false, ""},  // beyond the bound
      {LengthPrefixed(100, std::string(100, 'a')), true, std::string(100, 'a')},
  };
  for (const Case& c : cases) {
    Pipe pipe;
    pipe.Feed(c.bytes);
    std::string text = "stale";
    EXPECT_EQ(ReadString(pipe.Reader(), &text, 100), c.ok) << c.bytes.size() << " bytes";
    EXPECT_EQ(text, c.text);
  }
}

TEST(CommandStreamReadString, HugeLengthFailsAtOnceWithoutWaitingForTheBody) {
  // The peer announces 2^31-1 bytes and then waits: the bound refuses the length before
  // any body is read or stored, so the call neither blocks nor allocates 2 GiB.
  LoopbackPair pair;
  pair.SendFromA(LengthPrefixed(0x7fffffffu, "abc"));
  std::string text;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(ReadString(pair.StreamB(), &text, 1 << 20));
  EXPECT_LT(MillisecondsSince(start), 1000);
  EXPECT_LT(text.capacity(), 1024u);
}

}  // namespace
}  // namespace gq
