#include "remote/RemoteTestSupport.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "db/RecordCodec.h"
#include "frame/HeadlessHost.h"
#include "frame/Messages.h"
#include "frame/StatusBar.h"
#include "loading/LoadingHost.h"
#include "remote/Protocol.h"
#include "remote/StreamAdapters.h"
#include "search/SearchTestSupport.h"

namespace gq::test {
namespace {

constexpr unsigned kMsgRunHere = kMessageBase + 100;

}  // namespace

int OpenDescriptorCount() {
  int count = 0;
  DIR* folder = opendir("/proc/self/fd");
  while (dirent* entry = readdir(folder)) count += entry->d_name[0] != '.' ? 1 : 0;
  closedir(folder);
  return count - 1;  // the listing's own descriptor
}

bool DescriptorsBackTo(int baseline, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (OpenDescriptorCount() > baseline) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

UiThread::UiThread() {
  std::promise<void> ready;
  m_Thread = std::thread([this, &ready] {
    HeadlessHost host;
    ImageRecordDB db;
    db.m_ThumbBudget = 1 << 30;
    SearchEngine engine(db);
    StatusBar status([](const std::string&) {});
    LoadingHost loading(db, status);
    loading.Install(host);
    RemoteContext context{db, engine, [&loading](ImageRecord* record) {
                            return loading.OnRecordLoaded(reinterpret_cast<intptr_t>(record)) != 0;
                          }};
    InstallRemoteHandlers(host, context);
    host.SetHandler(kMsgRunHere, [](unsigned, uintptr_t, intptr_t fn) {
      (*reinterpret_cast<const std::function<void()>*>(fn))();
      return 1;
    });
    m_Target = host.Target();
    m_Db = &db;
    m_Engine = &engine;
    m_Context = &context;
    ready.set_value();
    RunMessageLoop();
    m_Server.reset();
    db.ClearAll();
  });
  ready.get_future().wait();
}

UiThread::~UiThread() {
  OnUi([] { PostQuitMessage(0); });
  m_Thread.join();
}

void UiThread::OnUi(const std::function<void()>& fn) {
  m_Target.Send(kMsgRunHere, 0, reinterpret_cast<intptr_t>(&fn));
}

int UiThread::StartServer(const std::string& instanceName, int32_t stallLimitMs) {
  OnUi([&] {
    m_Server = std::make_unique<Server>(m_Target, instanceName, INADDR_LOOPBACK, stallLimitMs);
    m_Server->Start(0);
  });
  return m_Server->WaitListening(std::chrono::seconds(2));
}

void UiThread::StopServer() {
  OnUi([&] { m_Server.reset(); });
}

void UiThread::AddPicture(const std::string& path, uint32_t seed, int32_t fileTime) {
  ImageRecord* record = RecordOf(path, GeneratedPicture(seed));
  record->m_FileTime = fileTime;
  OnUi([&] { m_Db->AddRecord(record, true); });
}

RawClient::RawClient(int port) {
  m_Socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(m_Socket);
    m_Socket = -1;
  }
}

RawClient::~RawClient() {
  if (m_Socket >= 0) close(m_Socket);
}

bool RawClient::Send(const std::string& bytes) {
  return Write(Stream(), bytes.data(), bytes.size()) == static_cast<int64_t>(bytes.size());
}

bool RawClient::Greet(const std::string& instanceName) { return Send(GreetingText(instanceName)); }

void RawClient::ShutdownSending() { shutdown(m_Socket, SHUT_WR); }

bool RawClient::Line(std::string* line, int timeoutMs) {
  int32_t budget = timeoutMs;
  return ReadLine(Stream(), line, &budget);
}

std::string RawClient::Rest(int timeoutMs) {
  std::string text;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  char buffer[4096];
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd entry{m_Socket, POLLIN, 0};
    if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0) break;
    int64_t n = ReadSome(Stream(), buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  return text;
}

bool RawClient::ClosedByServer(int timeoutMs) {
  pollfd entry{m_Socket, POLLIN, 0};
  if (poll(&entry, 1, timeoutMs) <= 0) return false;
  char byte;
  return ReadSome(Stream(), &byte, 1) <= 0;
}

std::string QueryRequest(int32_t first, int32_t last, const std::string& path,
                         const std::string& criteriaText) {
  std::string request = "query\n";
  AppendInt32(&request, first);
  AppendInt32(&request, last);
  AppendStringField(&request, path);
  AppendStringField(&request, criteriaText);
  return request;
}

std::string KnownRequest(const std::string& path, int32_t fileTime) {
  std::string request = "known\n";
  AppendStringField(&request, path);
  AppendInt32(&request, fileTime);
  return request;
}

std::string AddRequest(const ImageRecord& record, int32_t version) {
  std::string request = "add\n";
  AppendInt32(&request, version);
  BufferByteStream out(&request);
  if (version >= 6) {
    WriteRecord(out, record);
  } else {
    // Versions 4 and 5: path, offset, file time and a signature block that is skipped.
    AppendStringField(&request, record.m_Path);
    request.append(8, '\xff');
    AppendInt32(&request, record.m_FileTime);
    AppendInt32(&request, 3);
    request.append("abc");
  }
  WriteThumbnailBlock(out, record);
  return request;
}

}  // namespace gq::test
