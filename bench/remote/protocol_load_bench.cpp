// Load on the server over loopback: 8 clients each send 2,000 queries for ranks 1-20
// against a database of 100,000 records held in memory, and every reply is checked
// (status 0 and 20 paths). Reported: queries per second over the whole run, the 99th
// percentile and the median of the per-query latency, and the number of failed replies.
// Two ways of asking: one connection per query with the sending direction shut down
// after the query (as the command-line client does), and one kept connection per client
// that carries all its queries.
//
// Every record carries the signature of a generated thumbnail of its own (gradients,
// noise, shapes), computed when the benchmark starts; nothing is decoded.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <future>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "db/ImageRecordDB.h"
#include "base/CommandStream.h"
#include "frame/HeadlessHost.h"
#include "frame/StatusLine.h"
#include "remote/Protocol.h"
#include "remote/RemoteCommand.h"
#include "remote/Server.h"
#include "search/SearchEngine.h"
#include "signature/PackedImage.h"
#include "signature/Signature.h"

namespace gq {
namespace {

constexpr int kRecords = 100000;
constexpr int kClients = 8;
constexpr int kQueriesPerClient = 2000;
constexpr int kLastRank = 20;
const std::string kInstance = "GlimmerQuorum_bench";

// A photo-like thumbnail: a gradient between random colours, noise and a few shapes.
PackedImage Picture(uint32_t seed) {
  std::mt19937 random(seed);
  PackedImage image;
  const bool portrait = random() % 3 == 0;
  image.Allocate(portrait ? 72 : 96, portrait ? 96 : 72);
  const int noise = static_cast<int>(random() % 20);
  int from[3], to[3];
  for (int c = 0; c < 3; ++c) {
    from[c] = static_cast<int>(random() % 256);
    to[c] = static_cast<int>(random() % 256);
  }
  for (int y = 0; y < image.height; ++y) {
    for (int x = 0; x < image.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        int value = from[c] + (to[c] - from[c]) * (x + y) / (image.width + image.height);
        if (noise) value += static_cast<int>(random() % (2 * noise + 1)) - noise;
        image.row(y)[3 * x + c] = static_cast<uint8_t>(std::clamp(value, 0, 255));
      }
    }
  }
  const int shapes = 1 + static_cast<int>(random() % 6);
  for (int s = 0; s < shapes; ++s) {
    const int w = 4 + static_cast<int>(random() % (image.width / 2));
    const int h = 4 + static_cast<int>(random() % (image.height / 2));
    const int x0 = static_cast<int>(random() % (image.width - w));
    const int y0 = static_cast<int>(random() % (image.height - h));
    const uint8_t colour[3] = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                               static_cast<uint8_t>(random())};
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) std::memcpy(image.row(y) + 3 * x, colour, 3);
    }
  }
  return image;
}

std::string PathOf(int i) {
  return "/collection/folder" + std::to_string(i / 1000) + "/picture" + std::to_string(i) + ".jpg";
}

// Signatures of record first, first + step, ... (one share of the work per core).
void ComputeSignatures(std::vector<int16_t>* values, int first, int step) {
  for (int i = first; i < kRecords; i += step) {
    PackedImage picture = Picture(static_cast<uint32_t>(i) * 2654435761u + 1);
    int16_t signature[kSignatureLength] = {};
    ComputeSignature(picture.width, picture.height, picture.pixels.data(), picture.width * 20,
                     picture.height * 20, signature);
    std::memcpy(values->data() + static_cast<size_t>(i) * kComputedSignatureLength, signature,
                kComputedSignatureLength * sizeof(int16_t));
  }
}

void FillDatabase(ImageRecordDB& db) {
  std::vector<int16_t> values(static_cast<size_t>(kRecords) * kComputedSignatureLength);
  const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
  std::vector<std::thread> workers;
  for (int c = 0; c < cores; ++c) workers.emplace_back(ComputeSignatures, &values, c, cores);
  for (std::thread& worker : workers) worker.join();
  for (int i = 0; i < kRecords; ++i) {
    ImageRecord* record = MakeRecord(PathOf(i), 1000);
    std::memcpy(record->m_Signature,
                values.data() + static_cast<size_t>(i) * kComputedSignatureLength,
                kComputedSignatureLength * sizeof(int16_t));
    record->m_PictureWidth = 1920;
    record->m_PictureHeight = 1440;
    db.AddRecord(record, false);
  }
}

// The running instance: a user-interface thread with the database and the server.
class Instance {
 public:
  Instance() {
    std::promise<int> ready;
    m_Thread = std::thread([this, &ready] {
      HeadlessHost host;
      ImageRecordDB db;
      SearchEngine engine(db);
      FillDatabase(db);
      engine.EnsureIndex();
      RemoteContext context{db, engine, [&db](ImageRecord* record) {
                              db.AddRecord(record, true);
                              return true;
                            }};
      InstallRemoteHandlers(host, context);
      m_Target = host.Target();
      Server server(host.Target(), kInstance, INADDR_LOOPBACK);
      server.Start(0);
      ready.set_value(server.WaitListening(std::chrono::seconds(5)));
      RunMessageLoop();
      server.Stop();
      db.ClearAll();
    });
    m_Port = ready.get_future().get();
  }
  ~Instance() {
    m_Target.Post(kMsgClose);
    m_Thread.join();
  }
  int Port() const { return m_Port; }

 private:
  std::thread m_Thread;
  MessageTarget m_Target;
  int m_Port = 0;
};

int Connect(int port) {
  int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(s);
    return -1;
  }
  return s;
}

std::string Query(int picture) {
  std::string request = "query\n";
  AppendInt32(&request, 1);
  AppendInt32(&request, kLastRank);
  AppendStringField(&request, PathOf(picture));
  AppendStringField(&request, "");
  return request;
}

// Reads the reply in blocks, as the command-line client copies it, up to its 21st line
// feed; true when it is status 0 with 20 non-empty paths.
bool ReadReply(const CommandStream& stream) {
  std::string reply;
  char buffer[4096];
  while (std::count(reply.begin(), reply.end(), '\n') < kLastRank + 1) {
    int64_t n = ReadSome(stream, buffer, sizeof buffer);
    if (n <= 0) return false;
    reply.append(buffer, static_cast<size_t>(n));
  }
  int code = -1;
  size_t end = reply.find('\n');
  if (!ParseStatusLine(reply.substr(0, end + 1), &code) || code != 0) return false;
  return reply.find("\n\n") == std::string::npos && reply.back() == '\n';
}

bool AskOnNewConnection(int port, int picture) {
  int s = Connect(port);
  if (s < 0) return false;
  CommandStream stream{s, kStreamSocket};
  std::string request = GreetingText(kInstance) + Query(picture);
  bool ok = Write(stream, request.data(), request.size()) == static_cast<int64_t>(request.size());
  shutdown(s, SHUT_WR);
  ok = ok && ReadReply(stream);
  char byte;
  ok = ok && ReadSome(stream, &byte, 1) == 0;  // the server ended the exchange
  close(s);
  return ok;
}

void RunLoad(benchmark::State& state, bool keepConnection) {
  static Instance instance;
  for (auto _ : state) {
    std::vector<std::vector<double>> latencies(kClients);
    std::atomic<int> failures{0};
    auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
      clients.emplace_back([&, c] {
        std::mt19937 random(static_cast<uint32_t>(c) + 1);
        int kept = keepConnection ? Connect(instance.Port()) : -1;
        CommandStream stream{kept, kStreamSocket};
        if (keepConnection) {
          std::string greeting = GreetingText(kInstance);
          Write(stream, greeting.data(), greeting.size());
        }
        for (int q = 0; q < kQueriesPerClient; ++q) {
          int picture = static_cast<int>(random() % kRecords);
          auto begin = std::chrono::steady_clock::now();
          bool ok;
          if (keepConnection) {
            std::string request = Query(picture);
            ok = Write(stream, request.data(), request.size()) ==
                     static_cast<int64_t>(request.size()) &&
                 ReadReply(stream);
          } else {
            ok = AskOnNewConnection(instance.Port(), picture);
          }
          if (!ok) ++failures;
          latencies[c].push_back(
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - begin)
                  .count());
        }
        if (kept >= 0) close(kept);
      });
    }
    for (std::thread& client : clients) client.join();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::vector<double> all;
    for (const auto& list : latencies) all.insert(all.end(), list.begin(), list.end());
    std::sort(all.begin(), all.end());
    state.counters["queries_per_s"] = static_cast<double>(all.size()) / seconds;
    state.counters["p99_ms"] = all[all.size() * 99 / 100];
    state.counters["median_ms"] = all[all.size() / 2];
    state.counters["failed"] = failures.load();
  }
}

void BM_QueriesConnectionPerQuery(benchmark::State& state) { RunLoad(state, false); }
void BM_QueriesKeptConnection(benchmark::State& state) { RunLoad(state, true); }

BENCHMARK(BM_QueriesConnectionPerQuery)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_QueriesKeptConnection)->Iterations(1)->UseRealTime()->Unit(benchmark::kSecond);

}  // namespace
}  // namespace gq

BENCHMARK_MAIN();
