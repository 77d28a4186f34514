// libFuzzer target over the database file reader: the input is taken as a database
// file, loaded, and every thumbnail read back. Built with -DGQ_FUZZ=ON under clang.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "db/DatabaseOps.h"
#include "platform/MessageBox.h"

namespace {

std::string FuzzPath() {
  static const std::string path = "/tmp/gq-fuzz-" + std::to_string(getpid()) + ".gqdb";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = [] {
    gq::SetMessageBoxBackend(
        [](const gq::MessageBoxRequest& r) { return gq::DefaultButtonOf(r.flags); });
    return true;
  }();
  (void)quiet;
  FILE* file = std::fopen(FuzzPath().c_str(), "wb");
  if (!file) return 0;
  std::fwrite(data, 1, size, file);
  std::fclose(file);
  gq::ImageRecordDB db;
  if (gq::LoadDatabase(db, FuzzPath(), 0, 1)) {
    for (gq::ImageRecord* record : db.Records()) db.LoadThumbnail(record);
  }
  db.File().Close();
  return 0;
}
