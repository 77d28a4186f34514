// The mosaic's additional similarity check, cell after cell: the identity difference (not
// per pixel) of a cell's piece from candidates' thumbnails, the value
// IdentityDifference(piece, thumbnail, false) gives. The piece is split once per cell;
// each candidate's thumbnail is resized to the piece's size and split once and kept for
// later cells of that size, since neighbouring cells share most of their candidates.
// What is kept is bounded by a budget of bytes (larger than one such thumbnail): past
// it, all is dropped and kept anew. Owned by the mosaic run; used only on the
// user-interface thread (it reads thumbnails from the database file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <unordered_map>
#include <utility>

#include "db/ImageRecordDB.h"
#include "search/SplitImage.h"
#include "signature/PackedImage.h"

namespace gq {

inline constexpr size_t kPieceCheckBudget = size_t{64} << 20;

class PieceCheck {
 public:
  explicit PieceCheck(size_t budget = kPieceCheckBudget) : m_Budget(budget) { Clear(); }

  // The piece that the next differences measure against.
  void SetPiece(const PackedImage& piece);
  // The difference of the record's (not null) thumbnail from the piece: kRejectedDifference when
  // the piece is empty or the thumbnail cannot be resized to it. False when the record
  // has no thumbnail.
  bool Difference(ImageRecordDB& db, ImageRecord* record, double* difference);
  // Forgets the piece and every kept thumbnail.
  void Clear();
  // The bytes of the kept thumbnails.
  size_t KeptBytes() const { return m_KeptBytes; }

 private:
  struct Kept {
    int32_t thumbWidth;  // the thumbnail's size before it was resized to the piece
    int32_t thumbHeight;
    SplitImage split;
  };
  using KeptByLfdNr = std::unordered_map<int32_t, Kept>;

  // The record's thumbnail at the piece's size: the kept one or a new one. nullptr when
  // the record has no thumbnail; a kept one with an empty split when the resize failed.
  const Kept* Prepared(ImageRecordDB& db, ImageRecord* record);

  const size_t m_Budget;  // bytes
  SplitImage m_Piece;
  // Per piece size (width, height), the thumbnails by their records' running numbers.
  std::map<std::pair<int32_t, int32_t>, KeptByLfdNr> m_Kept;
  KeptByLfdNr* m_KeptForPiece;  // the entry of m_Kept for the piece's size
  size_t m_KeptBytes = 0;
};

}  // namespace gq
