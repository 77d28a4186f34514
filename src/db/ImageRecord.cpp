#include "db/ImageRecord.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "frame/AssertXL.h"
#include "base/Text.h"
#include "signature/Thumbnail.h"

namespace gq {

std::atomic<int32_t> m_NrThumbsLoaded{0};

namespace {

std::atomic<int32_t> g_runningNumbers{0};

void CountUnloaded() {
  int32_t left = --m_NrThumbsLoaded;
  ASSERT_XL(left >= 0, "ImageRecord");
  if (left < 0) m_NrThumbsLoaded = 0;
}

// Whether part stands at text[start], ignoring case, character by character.
bool MatchesAt(std::string_view text, size_t start, std::string_view part) {
  size_t i = start;
  size_t j = 0;
  while (j < part.size()) {
    if (i >= text.size()) return false;
    if (FoldCase(NextCharacter(text, &i)) != FoldCase(NextCharacter(part, &j))) return false;
  }
  return true;
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
  if (part.empty()) return true;
  for (size_t start = 0; start < text.size();) {
    if (MatchesAt(text, start, part)) return true;
    NextCharacter(text, &start);
  }
  return false;
}

}  // namespace

int64_t ThumbnailBytes(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  return static_cast<int64_t>((static_cast<int64_t>(width) * 3 + 3) & ~int64_t{3}) * height;
}

int32_t NextRunningNumber() { return ++g_runningNumbers; }

int32_t RecordFileTime(int64_t seconds) {
  if (seconds < 0) return 2;
  return static_cast<int32_t>(std::min<int64_t>(seconds, INT32_MAX));
}

ImageRecord* MakeRecord(const std::string& path, int32_t fileTime) {
  ASSERT_XL(fileTime >= -1, "ImageRecord");
  auto* record = new ImageRecord();
  std::memset(&record->m_NodeByLfdNr, 0, sizeof record->m_NodeByLfdNr);
  std::memset(&record->m_NodeByPath, 0, sizeof record->m_NodeByPath);
  record->m_LfdNr = NextRunningNumber();
  record->m_FileTime = fileTime;
  record->m_Path = path;
  return record;
}

void DestroyRecord(ImageRecord* record) {
  if (!record) return;
  ASSERT_XL(!record->m_NodeByLfdNr.iavl_data, "ImageRecord");
  ASSERT_XL(!record->m_NodeByPath.iavl_data, "ImageRecord");
  FreeRecordPixels(record);
  delete record;
}

void FreeRecordPixels(ImageRecord* record) {
  if (!record->m_ThumbPixels) return;
  std::free(record->m_ThumbPixels);
  record->m_ThumbPixels = nullptr;
  CountUnloaded();
}

void SetRecordThumbnail(ImageRecord* record, uint8_t* pixels, int32_t width, int32_t height) {
  FreeRecordPixels(record);
  record->m_ThumbPixels = pixels;
  record->m_ThumbWidth = width;
  record->m_ThumbHeight = height;
  if (pixels) ++m_NrThumbsLoaded;
}

bool MakeRecordThumbnail(ImageRecord* record, int width, int height, int stride,
                         const uint8_t* bgr) {
  PackedImage thumbnail;
  bool made = MakeThumbnail(width, height, stride, bgr, kThumbnailSide, &thumbnail) &&
              thumbnail.width > 2 && thumbnail.height > 2;
  if (!made) {
    SetRecordThumbnail(record, nullptr, 0, 0);
    return false;
  }
  auto* pixels = static_cast<uint8_t*>(std::malloc(thumbnail.pixels.size()));
  if (!pixels) {
    SetRecordThumbnail(record, nullptr, 0, 0);
    return false;
  }
  std::memcpy(pixels, thumbnail.pixels.data(), thumbnail.pixels.size());
  SetRecordThumbnail(record, pixels, thumbnail.width, thumbnail.height);
  return true;
}

bool MatchesText(const ImageRecord& record, const std::string& folderText,
                 const std::string& nameText) {
  std::string_view path = record.m_Path;
  size_t split = path.find_last_of("/\\");
  std::string_view folder =
      split == std::string_view::npos ? std::string_view() : path.substr(0, split);
  std::string_view name = split == std::string_view::npos ? path : path.substr(split + 1);
  return ContainsNoCase(folder, folderText) && ContainsNoCase(name, nameText);
}

}  // namespace gq
