// libFuzzer target over what a server reads from a peer: the input is offered as a
// greeting and, separately, as a command stream whose commands ("query", "known",
// "add" with its record payload) are read and executed against a small database, as a
// connection would have them executed. Built with -DGQ_FUZZ=ON under clang.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "db/ImageRecordDB.h"
#include "remote/Protocol.h"
#include "remote/RemoteCommand.h"
#include "search/SearchEngine.h"

namespace {

constexpr size_t kMaxInput = 1 << 20;
constexpr int32_t kMaxRecords = 64;

// The input in a pipe: a stream that ends where the input ends. Writes to it (the status
// lines) fail harmlessly, as towards a peer that went away.
int PipeWith(const uint8_t* data, size_t size) {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC) != 0) return -1;
  fcntl(ends[1], F_SETPIPE_SZ, static_cast<int>(kMaxInput));
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(ends[1], data + done, size - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(ends[1]);
  return ends[0];
}

struct Instance {
  Instance() : engine(db) {
    db.m_ThumbBudget = 1 << 30;
    for (int i = 0; i < 4; ++i) {
      gq::ImageRecord* record = gq::MakeRecord("/p" + std::to_string(i), 1000 + i);
      for (int v = 0; v < gq::kComputedSignatureLength; ++v) {
        record->m_Signature[v] = static_cast<int16_t>((i + 1) * (v + 3) * 97);
      }
      db.AddRecord(record, false);
    }
  }
  gq::ImageRecordDB db;
  gq::SearchEngine engine;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Instance* instance = new Instance;
  if (size > kMaxInput) return 0;
  gq::RemoteContext context{instance->db, instance->engine, [](gq::ImageRecord* record) {
                              instance->db.AddRecord(record, true);
                              return true;
                            }};
  int greeting = PipeWith(data, size);
  int32_t protocol = 0;
  gq::ReadGreeting({greeting, gq::kStreamFile}, "GlimmerQuorum_f", &protocol);
  close(greeting);
  int commands = PipeWith(data, size);
  gq::CommandStream stream{commands, gq::kStreamFile};
  while (std::unique_ptr<gq::RemoteCommand> command = gq::ReadCommand(stream)) {
    std::string reply;
    command->Execute(context, &reply);
  }
  close(commands);
  while (instance->db.Count() > kMaxRecords) {
    instance->db.RemoveRecord(instance->db.Records().back());
  }
  return 0;
}
