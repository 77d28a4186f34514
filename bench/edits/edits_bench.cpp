// Edited-copy search timings on a generated database: how many thumbnails one thread
// describes per second, the first search (describing every thumbnail on all cores and
// writing the cache), and the search with a warm cache.
// Usage: bench_edits RECORDS FOLDER [--keep] [--alike]
// The database is written directly (header, thumbnails, record list) rather than indexed
// from picture files, so that 100,000 records take seconds. Its thumbnails are generated
// scenes as varied as photographs (see VariedScene), or with --alike the first scenes of
// this benchmark, far more alike (edits-bench-alike.gqdb); every tenth record is an edited
// copy of the one before it (mirrored, turned, cropped or brightened). --keep leaves the
// database and its cache for the next run (and for gqtool duplicates DB --edits).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "db/ByteStream.h"
#include "db/DatabaseOps.h"
#include "db/FileLayer.h"
#include "db/RecordCodec.h"
#include "edits/EditDuplicateSearch.h"
#include "platform/MessageBox.h"

namespace gq {
namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Thumb {
  int width = 96, height = 72;
  std::vector<uint8_t> pixels;  // packed BGR, rows padded to 4 bytes
  uint8_t* At(int x, int y) { return pixels.data() + y * ((3 * width + 3) & ~3) + 3 * x; }
};

// The first scenes of this benchmark: all share one texture and a strong gradient, so
// that their coarse pictures are far more alike than photographs are.
Thumb AlikeScene(uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> unit(0, 1);
  Thumb t;
  t.pixels.assign(static_cast<size_t>(ThumbnailBytes(t.width, t.height)), 0);
  float blobs[6][6];
  for (auto& b : blobs) {
    for (float& v : b) v = unit(random);
  }
  const float phase = unit(random) * 6, angle = unit(random) * 6.283f;
  const float slope[2] = {std::cos(angle) * 120 / t.width, std::sin(angle) * 120 / t.height};
  for (int y = 0; y < t.height; ++y) {
    for (int x = 0; x < t.width; ++x) {
      for (int c = 0; c < 3; ++c) {
        float v =
            128 + blobs[0][c] * (slope[0] * (x - t.width / 2) + slope[1] * (y - t.height / 2));
        for (auto& b : blobs) {
          const float d = std::hypot(x - b[0] * t.width, y - b[1] * t.height) / (8 + 30 * b[2]);
          if (d < 1) v = v * d + 255 * b[3 + c] * (1 - d);
        }
        v += 10 * std::sin(x * 0.8f + phase) * std::sin(y * 0.7f);
        t.At(x, y)[c] = static_cast<uint8_t>(std::clamp(v, 0.f, 255.f));
      }
    }
  }
  return t;
}

// A scene as varied as photographs: a horizon between two tones at any height and tilt
// (or none), a gradient of any strength and direction, 4-11 soft blobs of any size and
// colour, and a fine texture of its own frequency, direction and strength.
Thumb VariedScene(uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<float> unit(0, 1);
  Thumb t;
  t.pixels.assign(static_cast<size_t>(ThumbnailBytes(t.width, t.height)), 0);
  float sky[3], ground[3], blobs[11][6];
  for (int c = 0; c < 3; ++c) sky[c] = 255 * unit(random), ground[c] = 255 * unit(random);
  for (auto& b : blobs) {
    for (float& v : b) v = unit(random);
  }
  const int blobCount = 4 + static_cast<int>(unit(random) * 8);
  const bool horizon = unit(random) < 0.5f;
  const float horizonAt = 0.2f + 0.6f * unit(random), tilt = unit(random) - 0.5f;
  const float angle = unit(random) * 6.283f, strength = unit(random) * 150;
  const float slope[2] = {std::cos(angle) * strength / t.width,
                          std::sin(angle) * strength / t.height};
  const float waves = 0.3f + 1.2f * unit(random), turn = unit(random) * 3.1416f;
  const float texture = 8 + 20 * unit(random), phase = unit(random) * 6.283f;
  for (int y = 0; y < t.height; ++y) {
    for (int x = 0; x < t.width; ++x) {
      const float u = static_cast<float>(x) / t.width, w = static_cast<float>(y) / t.height;
      const bool above = !horizon || w < horizonAt + tilt * (u - 0.5f);
      const float along = x * std::cos(turn) + y * std::sin(turn);
      const float across = -x * std::sin(turn) + y * std::cos(turn);
      for (int c = 0; c < 3; ++c) {
        float v = (above ? sky[c] : ground[c]) + slope[0] * (x - t.width / 2) +
                  slope[1] * (y - t.height / 2);
        for (int k = 0; k < blobCount; ++k) {
          const float* b = blobs[k];
          const float d = std::hypot(x - b[0] * t.width, y - b[1] * t.height) / (5 + 35 * b[2]);
          if (d < 1) v = v * d + 255 * b[3 + c] * (1 - d);
        }
        v += texture * std::sin(along * waves + phase) * std::sin(across * waves * 0.8f);
        t.At(x, y)[c] = static_cast<uint8_t>(std::clamp(v, 0.f, 255.f));
      }
    }
  }
  return t;
}

Thumb Scene(uint32_t seed, bool alike) { return alike ? AlikeScene(seed) : VariedScene(seed); }

// An edited copy of the thumbnail: kind 0 mirrored, 1 turned, 2 cropped, 3 brightened.
Thumb Edited(Thumb t, int kind) {
  Thumb out;
  out.width = kind == 1 ? t.height : kind == 2 ? t.width * 8 / 10 : t.width;
  out.height = kind == 1 ? t.width : kind == 2 ? t.height * 8 / 10 : t.height;
  out.pixels.assign(static_cast<size_t>(ThumbnailBytes(out.width, out.height)), 0);
  for (int y = 0; y < out.height; ++y) {
    for (int x = 0; x < out.width; ++x) {
      const uint8_t* from = kind == 0   ? t.At(t.width - 1 - x, y)
                            : kind == 1 ? t.At(y, t.height - 1 - x)
                            : kind == 2 ? t.At(x + t.width / 10, y + t.height / 10)
                                        : t.At(x, y);
      for (int c = 0; c < 3; ++c) {
        out.At(x, y)[c] =
            kind == 3 ? static_cast<uint8_t>(std::min(255, from[c] * 6 / 5)) : from[c];
      }
    }
  }
  return out;
}

bool Generate(const std::string& path, int64_t count, bool alike) {
  std::string error;
  const int fd = OpenDatabaseExclusive(path, DbCreation::kTruncate, &error);
  if (fd < 0) return false;
  FileByteStream out(fd, 0);
  unsigned char header[kDbHeaderSize] = {};
  out.WriteAll(header, sizeof header);
  std::vector<int64_t> offsets(static_cast<size_t>(count));
  std::vector<std::pair<int, int>> sides(static_cast<size_t>(count));
  Thumb previous;
  for (int64_t i = 0; i < count; ++i) {
    const Thumb t = i % 10 == 9 ? Edited(previous, static_cast<int>(i / 10 % 4))
                                : Scene(static_cast<uint32_t>(i), alike);
    if (i % 10 != 9) previous = t;
    const int32_t head[3] = {t.width, t.height, static_cast<int32_t>(t.pixels.size())};
    offsets[static_cast<size_t>(i)] = out.Position();
    sides[static_cast<size_t>(i)] = {t.width, t.height};
    out.WriteAll(head, sizeof head);
    out.WriteAll(t.pixels.data(), t.pixels.size());
  }
  DbHeader h;
  h.recordCount = static_cast<int32_t>(count);
  h.listOffset = out.Position();
  for (int64_t i = 0; i < count; ++i) {
    char name[96];
    std::snprintf(name, sizeof name, "/home/someone/Pictures/%04lld/IMG_%08lld.jpg",
                  static_cast<long long>(i / 1000), static_cast<long long>(i));
    ImageRecord* record = MakeRecord(name, 1600000000 + static_cast<int32_t>(i));
    record->m_PictureWidth = sides[static_cast<size_t>(i)].first * 40;
    record->m_PictureHeight = sides[static_cast<size_t>(i)].second * 40;
    for (int v = 0; v < kComputedSignatureLength; ++v) {
      record->m_Signature[v] = static_cast<int16_t>((i * 7919 + v * 104729) & 0x7fff);
    }
    record->m_ThumbOffset = offsets[static_cast<size_t>(i)];
    WriteRecord(out, *record);
    DestroyRecord(record);
  }
  EncodeHeader(h, header);
  const bool ok = out.SeekTo(0) && out.WriteAll(header, sizeof header) && out.Flush();
  close(fd);
  return ok;
}

// Thumbnails one thread describes per second.
double DescribeRate(bool alike) {
  std::vector<Thumb> thumbs;
  for (uint32_t i = 0; i < 200; ++i) thumbs.push_back(Scene(i, alike));
  EditDescriptor descriptor;
  const auto start = std::chrono::steady_clock::now();
  int described = 0;
  for (int round = 0; round < 25; ++round) {
    for (Thumb& t : thumbs)
      described += ComputeEditDescriptor(t.width, t.height, t.pixels.data(), &descriptor);
  }
  return described / Seconds(start);
}

// Loads the database and runs the search; prints the times of the stages.
bool Search(const std::string& path, const char* label) {
  ImageRecordDB db;
  auto start = std::chrono::steady_clock::now();
  if (!LoadDatabase(db, path, 0, 1)) return false;
  const double load = Seconds(start);
  EditSearchOptions options;
  options.cachePath = EditCachePath(path);
  double describedAt = 0;
  start = std::chrono::steady_clock::now();
  options.progress = [&](const std::string& status, int) {
    if (status.rfind("Describing", 0) == 0) describedAt = Seconds(start);
    return true;
  };
  const EditSearchReport report = RunEditDuplicateSearch(db, options);
  const double search = Seconds(start);
  std::printf(
      "%s: load %.2f s, search %.2f s (describing %d thumbnails %.2f s, %d reused), "
      "%u grouped\n",
      label, load, search, report.computed, describedAt, report.reused,
      static_cast<unsigned>(db.GroupList().count));
  db.ClearAll();
  return report.finished;
}

int Run(int64_t count, const std::string& folder, bool keep, bool alike) {
  SetMessageBoxBackend([](const MessageBoxRequest& r) { return DefaultButtonOf(r.flags); });
  std::printf("describing on one thread: %.0f thumbnails per second\n", DescribeRate(alike));
  const std::string path = folder + (alike ? "/edits-bench-alike.gqdb" : "/edits-bench.gqdb");
  if (!keep || !FileExists(path)) {
    const auto start = std::chrono::steady_clock::now();
    std::remove(EditCachePath(path).c_str());
    if (!Generate(path, count, alike)) {
      std::fprintf(stderr, "cannot generate %s\n", path.c_str());
      return 1;
    }
    std::printf("records %lld generated in %.1f s\n", static_cast<long long>(count),
                Seconds(start));
  }
  if (!Search(path, "first search") || !Search(path, "warm cache")) return 1;
  if (!keep) {
    std::remove(path.c_str());
    std::remove(EditCachePath(path).c_str());
  }
  return 0;
}

}  // namespace
}  // namespace gq

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_edits RECORDS FOLDER [--keep] [--alike]\n");
    return 2;
  }
  bool keep = false, alike = false;
  for (int i = 3; i < argc; ++i) {
    keep = keep || std::strcmp(argv[i], "--keep") == 0;
    alike = alike || std::strcmp(argv[i], "--alike") == 0;
  }
  return gq::Run(std::atoll(argv[1]), argv[2], keep, alike);
}
