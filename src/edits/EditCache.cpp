#include "edits/EditCache.h"

#include <cstdio>
#include <cstring>
#include <type_traits>

#include "db/ImageRecord.h"
#include "frame/AtomicFile.h"

namespace gq {
namespace {

constexpr char kMagic[8] = {'G', 'Q', 'E', 'D', 'I', 'T', 'S', '\n'};
constexpr uint32_t kVersion = 1;
constexpr uint32_t kMaxPath = 1 << 16;
static_assert(std::is_trivially_copyable_v<EditDescriptor>);

// A 64-bit checksum, eight bytes at a time.
uint64_t Checksum(const unsigned char* bytes, size_t size) {
  uint64_t hash = 0x9e3779b97f4a7c15ull ^ size;
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes + i, 8);
    hash = (hash ^ word) * 0x100000001b3ull;
    hash ^= hash >> 29;
  }
  for (; i < size; ++i) hash = (hash ^ bytes[i]) * 0x100000001b3ull;
  return hash ^ (hash >> 32);
}

template <typename T>
void Put(std::string& out, const T& value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

// Reads the bytes of a file from the start; false past the end.
class Reader {
 public:
  Reader(const unsigned char* bytes, size_t size) : m_Bytes(bytes), m_Size(size) {}
  template <typename T>
  bool Get(T* value) {
    return Bytes(value, sizeof *value);
  }
  bool Bytes(void* target, size_t size) {
    if (m_Size - m_Position < size) return false;
    std::memcpy(target, m_Bytes + m_Position, size);
    m_Position += size;
    return true;
  }
  size_t Position() const { return m_Position; }

 private:
  const unsigned char* m_Bytes;
  size_t m_Size;
  size_t m_Position = 0;
};

bool ReadEntry(Reader& in, EditCacheEntry* entry) {
  uint32_t length = 0;
  if (!in.Get(&length) || length > kMaxPath) return false;
  entry->key.path.resize(length);
  EditCacheKey& key = entry->key;
  return in.Bytes(key.path.data(), length) && in.Get(&key.fileTime) && in.Get(&key.pictureWidth) &&
         in.Get(&key.pictureHeight) && in.Get(&key.signatureHash) &&
         in.Bytes(&entry->descriptor, sizeof entry->descriptor);
}

std::vector<unsigned char> ReadWholeFile(const std::string& path, bool* missing) {
  std::vector<unsigned char> bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  *missing = file == nullptr;
  if (file == nullptr) return bytes;
  unsigned char buffer[1 << 16];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  std::fclose(file);
  return bytes;
}

}  // namespace

EditCacheKey CacheKeyOf(const ImageRecord& record) {
  EditCacheKey key;
  key.path = record.m_Path;
  key.fileTime = record.m_FileTime;
  key.pictureWidth = record.m_PictureWidth;
  key.pictureHeight = record.m_PictureHeight;
  // The computed values only: the last is the record's place in path order, which the
  // similarity index sets and which changes with every other record added or removed.
  key.signatureHash = Checksum(reinterpret_cast<const unsigned char*>(record.m_Signature),
                               kComputedSignatureLength * sizeof record.m_Signature[0]);
  return key;
}

EditCacheState ReadEditCache(const std::string& path, std::vector<EditCacheEntry>* entries) {
  entries->clear();
  bool missing = false;
  const std::vector<unsigned char> bytes = ReadWholeFile(path, &missing);
  if (missing) return EditCacheState::kMissing;
  uint64_t stored = 0;
  if (bytes.size() < sizeof kMagic + 3 * sizeof(uint32_t) + sizeof stored) {
    return EditCacheState::kDamaged;
  }
  const size_t body = bytes.size() - sizeof stored;
  std::memcpy(&stored, bytes.data() + body, sizeof stored);
  Reader in(bytes.data(), body);
  char magic[sizeof kMagic];
  uint32_t version = 0, descriptorSize = 0, count = 0;
  bool ok = in.Bytes(magic, sizeof magic) && std::memcmp(magic, kMagic, sizeof magic) == 0 &&
            in.Get(&version) && version == kVersion && in.Get(&descriptorSize) &&
            descriptorSize == sizeof(EditDescriptor) && in.Get(&count) &&
            count <= body / (sizeof(uint32_t) + 3 * sizeof(int32_t) + sizeof(uint64_t) +
                             sizeof(EditDescriptor)) &&
            stored == Checksum(bytes.data(), body);
  if (ok) entries->resize(count);
  for (uint32_t i = 0; ok && i < count; ++i) ok = ReadEntry(in, &(*entries)[i]);
  if (ok && in.Position() == body) return EditCacheState::kRead;
  entries->clear();
  return EditCacheState::kDamaged;
}

bool WriteEditCache(const std::string& path, const std::vector<const EditCacheEntry*>& entries,
                    std::string* error) {
  std::string out(kMagic, sizeof kMagic);
  Put(out, kVersion);
  Put(out, static_cast<uint32_t>(sizeof(EditDescriptor)));
  Put(out, static_cast<uint32_t>(entries.size()));
  for (const EditCacheEntry* entry : entries) {
    const EditCacheKey& key = entry->key;
    Put(out, static_cast<uint32_t>(key.path.size()));
    out += key.path;
    for (int32_t number : {key.fileTime, key.pictureWidth, key.pictureHeight}) {
      Put(out, number);
    }
    Put(out, key.signatureHash);
    Put(out, entry->descriptor);
  }
  Put(out, Checksum(reinterpret_cast<const unsigned char*>(out.data()), out.size()));
  AtomicFile file(path);
  FILE* stream = file.Open();
  if (stream == nullptr || std::fwrite(out.data(), 1, out.size(), stream) != out.size()) {
    *error = stream == nullptr ? file.Error() : "cannot write " + file.TemporaryPath();
    file.Discard();
    return false;
  }
  if (!file.Commit()) {
    *error = file.Error();
    return false;
  }
  return true;
}

}  // namespace gq
