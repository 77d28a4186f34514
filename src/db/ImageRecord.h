// One picture the program knows: its path, file and picture facts, the thumbnail and
// the signature. Records are plain heap blocks made by MakeRecord and destroyed by
// DestroyRecord. The two tree nodes come first, so the database's trees by running
// number and by path link records without allocating. A record is made on any thread
// (the loader makes new ones); once handed to the database it belongs to the
// user-interface thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "db/iavl.h"
#include "signature/Signature.h"

namespace gq {

// Thumbnails are at most this large on either side in files and in memory.
inline constexpr int kMaxStoredThumbnailSide = 1024;

struct ImageRecord {
  iavl_node m_NodeByLfdNr;           // links the record into the tree by running number
  iavl_node m_NodeByPath;            // links the record into the tree by path
  int32_t m_LfdNr = 0;               // running number: unique in this run, ascending = load order
  int32_t m_GroupNr = -1;            // group in the duplicate list, -1 when not in it
  int64_t m_ThumbOffset = -1;        // where the thumbnail block lies in the open file, or -1
  uint8_t* m_ThumbPixels = nullptr;  // packed BGR pixels, or none (then they are in the file)
  int32_t m_ThumbWidth = 0;
  int32_t m_ThumbHeight = 0;
  int32_t m_PictureWidth = 0;
  int32_t m_PictureHeight = 0;
  // Last-write time, seconds since 1970; 0 or -1 when unknown; below -1 an update mark
  // (the negated time of a record that an update has not confirmed yet).
  int32_t m_FileTime = 0;
  std::string m_Path;
  int16_t m_Signature[kSignatureLength] = {};  // value 103: place in path order (memory only)
};

// Records whose thumbnail pixels are in memory, over the whole process (the loader
// makes and destroys thumbnails too). Never negative.
extern std::atomic<int32_t> m_NrThumbsLoaded;

// The byte count of a packed BGR thumbnail: rows padded to 4 bytes.
int64_t ThumbnailBytes(int32_t width, int32_t height);

// A new record: offset -1, group -1, no thumbnail, sizes and time 0, signature 0, nodes
// cleared, a new running number. Asserts that the file time is not below -1.
ImageRecord* MakeRecord(const std::string& path, int32_t fileTime = 0);

// The file time a record keeps for a last-write time in seconds since 1970. Photo tools
// date files before 1970 or after 2038: earlier times become 2 (the earliest time an
// update still marks, so a vanished file is still removed), later ones the largest
// 32-bit time. The same file thus gives the same time on every run.
int32_t RecordFileTime(int64_t seconds);

// Frees the record and its pixels; it must be out of both trees (asserted).
void DestroyRecord(ImageRecord* record);

// Gives the record a thumbnail made from a BGR picture (reduced to at most 96 pixels).
// Success only if both sides exceed 2 pixels; then the pixels count as loaded.
// Otherwise the record has sizes 0 and no pixels.
bool MakeRecordThumbnail(ImageRecord* record, int width, int height, int stride,
                         const uint8_t* bgr);

// Takes over pixels (malloc'ed, ThumbnailBytes(width, height) bytes) as the record's
// thumbnail, counting them as loaded; frees any pixels it had.
void SetRecordThumbnail(ImageRecord* record, uint8_t* pixels, int32_t width, int32_t height);

// Frees the record's pixels (keeping sizes and offset) and counts them as unloaded.
void FreeRecordPixels(ImageRecord* record);

// Whether the path matches the find-by-text texts: a non-empty folder text must occur
// in the folder part and a non-empty name text in the file name, ignoring case.
bool MatchesText(const ImageRecord& record, const std::string& folderText,
                 const std::string& nameText);

// The next running number (atomic; the first is 1).
int32_t NextRunningNumber();

}  // namespace gq
