#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <string>

#include "app/TerminalLine.h"

namespace gq {
namespace {

// Everything written until the writing side closed.
std::string ReadToEnd(int reader) {
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(reader, buffer, sizeof buffer)) > 0) text.append(buffer, n);
  return text;
}

TEST(TerminalLine, ReplacesItsLineAndRemovesItOnceOnATerminal) {
  int master = -1;
  int terminal = -1;
  ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, nullptr), 0);
  FILE* stream = fdopen(terminal, "w");
  {
    TerminalLine line(stream);
    line.Clear();  // nothing shown yet
    line.Show("first", true);
    line.Show("second", true);
    line.Clear();
    line.Clear();
    line.Show("third", true);
  }  // the line goes with the object
  std::fclose(stream);
  EXPECT_EQ(ReadToEnd(master), "\r\033[Kfirst\r\033[Ksecond\r\033[K\r\033[Kthird\r\033[K");
  close(master);
}

TEST(TerminalLine, DrawsNothingWhenNotATerminal) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  FILE* stream = fdopen(fds[1], "w");
  {
    TerminalLine line(stream);
    line.Show("progress", true);
  }
  std::fclose(stream);
  EXPECT_EQ(ReadToEnd(fds[0]), "");
  close(fds[0]);
}

}  // namespace
}  // namespace gq
