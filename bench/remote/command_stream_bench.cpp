// Throughput of the command stream over a loopback TCP connection: the line reader with
// and without a time budget (one wait per byte with a budget), and copy to a file.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <utility>

#include "base/CommandStream.h"

namespace gq {
namespace {

void ConnectLoopback(int* sender, int* receiver) {
  int listener = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener, 1);
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
  *sender = socket(AF_INET, SOCK_STREAM, 0);
  connect(*sender, reinterpret_cast<sockaddr*>(&address), sizeof address);
  *receiver = accept(listener, nullptr, nullptr);
  close(listener);
}

// A loopback connection whose sending end is fed with the same block over and over by a
// thread of its own until the receiving end is closed.
class Feeder {
 public:
  explicit Feeder(std::string block) : m_Block(std::move(block)) {
    ConnectLoopback(&m_Sender, &m_Receiver);
    m_Thread = std::thread([this] {
      CommandStream out{m_Sender, kStreamSocket};
      while (Write(out, m_Block.data(), m_Block.size()) > 0) {
      }
    });
  }
  ~Feeder() {
    shutdown(m_Receiver, SHUT_RDWR);
    close(m_Receiver);
    m_Thread.join();
    close(m_Sender);
  }
  CommandStream Stream() const { return {m_Receiver, kStreamSocket}; }

 private:
  std::string m_Block;
  int m_Sender = -1;
  int m_Receiver = -1;
  std::thread m_Thread;
};

std::string PathLines(int count) {
  std::string lines;
  for (int i = 0; i < count; ++i) {
    lines += "/home/user/pictures/holiday/img_" + std::to_string(100000 + i) + ".jpg\r\n";
  }
  return lines;
}

void BM_ReadLine(benchmark::State& state) {
  const bool withBudget = state.range(0) != 0;
  std::string block = PathLines(256);
  Feeder feeder(block);
  std::string line;
  int64_t bytes = 0;
  for (auto _ : state) {
    int32_t budget = withBudget ? 5000 : kNoTimeLimit;
    if (!ReadLine(feeder.Stream(), &line, &budget)) state.SkipWithError("no line");
    bytes += static_cast<int64_t>(line.size()) + 2;
  }
  state.SetBytesProcessed(bytes);
  state.SetLabel(withBudget ? "budget 5000 ms" : "no time limit");
}
BENCHMARK(BM_ReadLine)->Arg(0)->Arg(1);

// Each iteration copies one whole answer of state.range(0) bytes from a fresh connection,
// as the client copies a query answer into its result file.
void BM_CopyToFile(benchmark::State& state) {
  const size_t answerSize = static_cast<size_t>(state.range(0));
  std::string answer(answerSize, 'c');
  int sink = open("/dev/null", O_WRONLY);
  for (auto _ : state) {
    int sender = -1;
    int receiver = -1;
    ConnectLoopback(&sender, &receiver);
    std::thread server([&] {
      Write({sender, kStreamSocket}, answer.data(), answer.size());
      close(sender);
    });
    int64_t copied = 0;
    CopyTo({receiver, kStreamSocket}, {sink, kStreamFile}, &copied);
    server.join();
    close(receiver);
    if (copied != static_cast<int64_t>(answerSize)) state.SkipWithError("short copy");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * answerSize));
  close(sink);
}
BENCHMARK(BM_CopyToFile)->Arg(4 << 20)->UseRealTime();

}  // namespace
}  // namespace gq

BENCHMARK_MAIN();
