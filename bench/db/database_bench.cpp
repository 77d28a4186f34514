// Database file timings on a generated collection: load (record list only, own file),
// save after adding 1,000 records, save as a compact copy, and the memory each record
// takes without thumbnail pixels.
// Usage: bench_database RECORDS FOLDER [--copy] [--keep]
// --keep leaves the generated file for the next run, which then loads it as it is.
// The file is generated directly (header, 96 x 72 thumbnails, record list) so that a
// million records need no million decodes.
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "db/ByteStream.h"
#include "db/DatabaseOps.h"
#include "db/FileLayer.h"
#include "db/RecordCodec.h"
#include "platform/MessageBox.h"

namespace gq {
namespace {

constexpr int kThumbWidth = 96;
constexpr int kThumbHeight = 72;

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

size_t HeapInUse() { return mallinfo2().uordblks + mallinfo2().hblkhd; }

// A path of about 60 bytes.
std::string PathOf(int64_t i) {
  char path[96];
  std::snprintf(path, sizeof path, "/home/someone/Pictures/holidays/%04lld/IMG_%08lld_edit.jpg",
                static_cast<long long>(i / 1000), static_cast<long long>(i));
  return path;
}

ImageRecord* Generated(int64_t i, std::vector<uint8_t>& pixels) {
  ImageRecord* record = MakeRecord(PathOf(i), 1600000000 + static_cast<int32_t>(i % 100000));
  record->m_PictureWidth = 4000;
  record->m_PictureHeight = 3000;
  for (int v = 0; v < kComputedSignatureLength; ++v) {
    record->m_Signature[v] = static_cast<int16_t>((i * 7919 + v * 104729) & 0x7fff);
  }
  pixels.assign(static_cast<size_t>(ThumbnailBytes(kThumbWidth, kThumbHeight)),
                static_cast<uint8_t>(i));
  return record;
}

bool Generate(const std::string& path, int64_t count) {
  std::string error;
  int fd = OpenDatabaseExclusive(path, DbCreation::kTruncate, &error);
  if (fd < 0) return false;
  FileByteStream out(fd, 0);
  unsigned char header[kDbHeaderSize] = {};
  out.WriteAll(header, sizeof header);
  std::vector<uint8_t> pixels;
  std::vector<int64_t> offsets(static_cast<size_t>(count));
  int32_t head[3] = {kThumbWidth, kThumbHeight,
                     static_cast<int32_t>(ThumbnailBytes(kThumbWidth, kThumbHeight))};
  for (int64_t i = 0; i < count; ++i) {
    pixels.assign(static_cast<size_t>(head[2]), static_cast<uint8_t>(i));
    offsets[static_cast<size_t>(i)] = out.Position();
    out.WriteAll(head, sizeof head);
    out.WriteAll(pixels.data(), pixels.size());
  }
  DbHeader h;
  h.recordCount = static_cast<int32_t>(count);
  h.listOffset = out.Position();
  for (int64_t i = 0; i < count; ++i) {
    ImageRecord* record = Generated(i, pixels);
    record->m_ThumbOffset = offsets[static_cast<size_t>(i)];
    WriteRecord(out, *record);
    DestroyRecord(record);
  }
  EncodeHeader(h, header);
  bool ok = out.SeekTo(0) && out.WriteAll(header, sizeof header) && out.Flush();
  close(fd);
  return ok;
}

int Run(int64_t count, const std::string& folder, bool copy, bool keep) {
  SetMessageBoxBackend([](const MessageBoxRequest& r) {
    return (r.flags & 0xF) == MB_OKCANCEL ? IDOK : DefaultButtonOf(r.flags);
  });
  std::string path = folder + "/bench.gqdb";
  auto start = std::chrono::steady_clock::now();
  if (!keep || !FileExists(path)) {
    if (!Generate(path, count)) {
      std::fprintf(stderr, "cannot generate %s\n", path.c_str());
      return 1;
    }
    std::printf("records %lld, generated in %.2f s\n", static_cast<long long>(count),
                Seconds(start));
  }

  ImageRecordDB db;
  size_t heapBefore = HeapInUse();
  start = std::chrono::steady_clock::now();
  if (!LoadDatabase(db, path, 0, 1)) return 1;
  double load = Seconds(start);
  size_t heapAfter = HeapInUse();
  std::printf(
      "load: %.3f s, memory per record without pixels: %.0f bytes (sizeof ImageRecord %zu)\n", load,
      static_cast<double>(heapAfter - heapBefore) / count, sizeof(ImageRecord));

  if (keep) {
    db.File().Close();
    return 0;
  }
  std::vector<uint8_t> pixels;
  for (int64_t i = 0; i < 1000; ++i) {
    ImageRecord* record = Generated(count + i, pixels);
    auto* buffer = static_cast<uint8_t*>(std::malloc(pixels.size()));
    std::memcpy(buffer, pixels.data(), pixels.size());
    SetRecordThumbnail(record, buffer, kThumbWidth, kThumbHeight);
    db.AddRecord(record, false);
  }
  start = std::chrono::steady_clock::now();
  if (!FlushDatabase(db)) return 1;
  std::printf("save after adding 1,000 records: %.3f s\n", Seconds(start));

  if (copy) {
    start = std::chrono::steady_clock::now();
    if (!SaveAsCopy(db, folder + "/bench-copy.gqdb", 0, 1)) return 1;
    std::printf("save as copy: %.3f s\n", Seconds(start));
    std::remove((folder + "/bench-copy.gqdb").c_str());
  }
  db.ClearAll();
  std::remove(path.c_str());
  return 0;
}

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_database RECORDS FOLDER [--copy]\n");
    return 2;
  }
  bool copy = false;
  bool keep = false;
  for (int i = 3; i < argc; ++i) {
    copy |= std::strcmp(argv[i], "--copy") == 0;
    keep |= std::strcmp(argv[i], "--keep") == 0;
  }
  return gq::Run(std::atoll(argv[1]), argv[2], copy, keep);
}
