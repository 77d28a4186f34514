// The generated collection of the search benchmarks: N records whose signatures are
// computed from real thumbnails, generated pictures of gradients, shapes and noise;
// every 25th record is a perturbed copy (noise, a brightness shift, a slight crop) of one
// of the 100 records before it, so the collection holds known duplicates. The signatures
// are cached in $GQ_BENCH_DATA (default /tmp) as gq-search-bench-N.bin, since computing a
// million takes a while. Also the brute-force Search Similar the benchmarks compare with.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "search/SearchEngine.h"
#include "signature/SearchResult.h"
#include "signature/Signature.h"
#include "signature/Similarity.h"
#include "signature/Thumbnail.h"

namespace gq {

inline constexpr int kCopyEvery = 25;

// A photo-like picture: a gradient between random colours, shapes and noise.
inline PackedImage GeneratedPicture(uint32_t seed, int width, int height) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> byte(0, 255);
  const int noiseLevel = static_cast<int>(random() % 24);
  int from[3], to[3];
  for (int c = 0; c < 3; ++c) {
    from[c] = byte(random);
    to[c] = byte(random);
  }
  const bool vertical = random() % 2;
  PackedImage image;
  image.Allocate(width, height);
  for (int y = 0; y < height; ++y) {
    uint8_t* p = image.row(y);
    for (int x = 0; x < width; ++x, p += 3) {
      const int t = vertical ? 256 * y / height : 256 * x / width;
      for (int c = 0; c < 3; ++c) {
        const int noise =
            noiseLevel ? static_cast<int>(random() % (2 * noiseLevel + 1)) - noiseLevel : 0;
        p[c] =
            static_cast<uint8_t>(std::clamp(from[c] + (to[c] - from[c]) * t / 256 + noise, 0, 255));
      }
    }
  }
  const int shapes = 1 + static_cast<int>(random() % 7);
  for (int s = 0; s < shapes; ++s) {
    const int cx = byte(random) * width / 256, cy = byte(random) * height / 256;
    const int rx = 3 + byte(random) * width / 600, ry = 3 + byte(random) * height / 600;
    const bool round = random() % 2;
    const uint8_t colour[3] = {static_cast<uint8_t>(byte(random)),
                               static_cast<uint8_t>(byte(random)),
                               static_cast<uint8_t>(byte(random))};
    for (int y = std::max(0, cy - ry); y < std::min(height, cy + ry); ++y) {
      for (int x = std::max(0, cx - rx); x < std::min(width, cx + rx); ++x) {
        const double dx = double(x - cx) / rx, dy = double(y - cy) / ry;
        if (!round || dx * dx + dy * dy <= 1) std::memcpy(image.row(y) + 3 * x, colour, 3);
      }
    }
  }
  return image;
}

// A copy as a re-encoding or an edit would leave it: noise, a brightness shift and a
// crop of up to 2 pixels per side.
inline PackedImage PerturbedCopy(const PackedImage& picture, uint32_t seed) {
  std::mt19937 random(seed);
  const int shift = static_cast<int>(random() % 13) - 6;
  const int left = random() % 3, top = random() % 3, right = random() % 3, bottom = random() % 3;
  PackedImage copy;
  copy.Allocate(picture.width - left - right, picture.height - top - bottom);
  for (int y = 0; y < copy.height; ++y) {
    const uint8_t* from = picture.row(y + top) + 3 * left;
    uint8_t* to = copy.row(y);
    for (int i = 0; i < 3 * copy.width; ++i) {
      const int noise = static_cast<int>(random() % 7) - 3;
      to[i] = static_cast<uint8_t>(std::clamp(from[i] + shift + noise, 0, 255));
    }
  }
  return copy;
}

struct PictureFacts {
  int16_t signature[kComputedSignatureLength];
  int32_t width, height;
};

// The record that record i is a copy of (for every kCopyEvery-th record).
inline int64_t OriginalOf(int64_t i) {
  std::mt19937 random(static_cast<uint32_t>(i * 2654435761u));
  random();  // the size choice
  return std::max<int64_t>(0, i - 1 - static_cast<int64_t>(random() % 100));
}

// The picture of record i of a set: its thumbnail-sized picture and full size.
inline PackedImage PictureOf(int64_t i, int32_t* width, int32_t* height) {
  std::mt19937 random(static_cast<uint32_t>(i * 2654435761u));
  static const int kSizes[][2] = {{4000, 3000}, {3000, 4000}, {1600, 1200}, {1024, 768},
                                  {800, 600},   {1920, 1080}, {600, 800},   {2048, 2048}};
  const int* size = kSizes[random() % 8];
  *width = size[0];
  *height = size[1];
  const int tw = *width >= *height ? 96 : 96 * *width / *height;
  const int th = *width >= *height ? 96 * *height / *width : 96;
  if (i % kCopyEvery == kCopyEvery - 1) {
    const int64_t original = OriginalOf(i);
    int32_t w, h;
    PackedImage base = PictureOf(original, &w, &h);
    *width = w;
    *height = h;
    return PerturbedCopy(base, static_cast<uint32_t>(i));
  }
  return GeneratedPicture(static_cast<uint32_t>(i * 7919 + 13), tw, th);
}

inline PictureFacts FactsOf(int64_t i) {
  PictureFacts facts{};
  const PackedImage picture = PictureOf(i, &facts.width, &facts.height);
  ComputeSignature(picture.width, picture.height, picture.pixels.data(), facts.width, facts.height,
                   facts.signature);
  return facts;
}

inline std::vector<PictureFacts> LoadOrMakeFacts(int64_t count) {
  const char* folder = std::getenv("GQ_BENCH_DATA");
  const std::string path =
      std::string(folder ? folder : "/tmp") + "/gq-search-bench-" + std::to_string(count) + ".bin";
  std::vector<PictureFacts> facts(count);
  if (std::FILE* file = std::fopen(path.c_str(), "rb")) {
    const size_t read = std::fread(facts.data(), sizeof(PictureFacts), count, file);
    std::fclose(file);
    if (read == static_cast<size_t>(count)) return facts;
  }
  std::fprintf(stderr, "computing %lld signatures from generated thumbnails...\n",
               static_cast<long long>(count));
  const unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<std::thread> workers;
  for (unsigned t = 0; t < threads; ++t) {
    workers.emplace_back([&, t] {
      for (int64_t i = t; i < count; i += threads) facts[i] = FactsOf(i);
    });
  }
  for (std::thread& worker : workers) worker.join();
  if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(facts.data(), sizeof(PictureFacts), count, file);
    std::fclose(file);
  }
  return facts;
}

inline std::string PathOf(int64_t i) {
  char path[64];
  std::snprintf(path, sizeof path, "/pictures/set%03lld/picture%07lld.jpg",
                static_cast<long long>(i / 1000), static_cast<long long>(i));
  return path;
}

struct Collection {
  ImageRecordDB db;
  std::unique_ptr<SearchEngine> engine;
  std::vector<ImageRecord*> records;  // by set index
};

inline Collection& CollectionOf(int64_t count) {
  static std::map<int64_t, std::unique_ptr<Collection>> collections;
  std::unique_ptr<Collection>& slot = collections[count];
  if (slot) return *slot;
  slot = std::make_unique<Collection>();
  Collection& collection = *slot;
  collection.engine = std::make_unique<SearchEngine>(collection.db);
  const std::vector<PictureFacts> facts = LoadOrMakeFacts(count);
  for (int64_t i = 0; i < count; ++i) {
    ImageRecord* record = MakeRecord(PathOf(i));
    std::memcpy(record->m_Signature, facts[i].signature, sizeof facts[i].signature);
    record->m_PictureWidth = facts[i].width;
    record->m_PictureHeight = facts[i].height;
    collection.db.AddRecord(record, false);
    collection.records.push_back(record);
  }
  collection.engine->EnsureIndex();
  return collection;
}

// Query records spread over the collection, the copies among them.
inline std::vector<ImageRecord*> Queries(Collection& collection, int count) {
  std::vector<ImageRecord*> queries;
  std::mt19937 random(99);
  for (int q = 0; q < count; ++q) {
    queries.push_back(collection.records[random() % collection.records.size()]);
  }
  return queries;
}

// Exact Search Similar: every record scored, all sorted, the query left out.
inline std::vector<ImageRecord*> BruteForceSimilar(Collection& collection, ImageRecord* query,
                                                   int32_t last, const WeightVector& weights) {
  std::vector<SearchResult> results(collection.records.size());
  std::vector<SearchResult*> order(results.size());
  for (size_t i = 0; i < results.size(); ++i) {
    ImageRecord* record = collection.records[i];
    results[i] = {Distance(query->m_Signature, record->m_Signature, weights.data()),
                  record->m_Path.c_str(), record};
    order[i] = &results[i];
  }
  SortResults(order.data(), order.size());
  std::vector<ImageRecord*> list;
  for (SearchResult* result : order) {
    if (result->record == query) continue;
    list.push_back(static_cast<ImageRecord*>(result->record));
    if (static_cast<int32_t>(list.size()) == last) break;
  }
  return list;
}

}  // namespace gq
