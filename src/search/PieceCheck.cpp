#include "search/PieceCheck.h"

#include "search/IdentityDifference.h"

namespace gq {

void PieceCheck::SetPiece(const PackedImage& piece) {
  SplitChannels(piece, &m_Piece);
  m_KeptForPiece = &m_Kept[{m_Piece.width, m_Piece.height}];
}

bool PieceCheck::Difference(ImageRecordDB& db, ImageRecord* record, double* difference) {
  const Kept* kept = Prepared(db, record);
  if (kept == nullptr) return false;
  *difference = m_Piece.empty() || kept->split.empty()
                    ? kRejectedDifference
                    : SplitDifference(m_Piece, kept->split, kept->thumbWidth, kept->thumbHeight);
  return true;
}

void PieceCheck::Clear() {
  m_Kept.clear();
  m_KeptBytes = 0;
  SetPiece(PackedImage());
}

const PieceCheck::Kept* PieceCheck::Prepared(ImageRecordDB& db, ImageRecord* record) {
  const auto found = m_KeptForPiece->find(record->m_LfdNr);
  if (found != m_KeptForPiece->end()) return &found->second;
  PackedImage thumb;
  if (!CopyThumbnail(db, record, &thumb)) return nullptr;
  Kept kept{thumb.width, thumb.height, SplitImage()};
  SplitResized(thumb, m_Piece.width, m_Piece.height, &kept.split);
  const size_t bytes = kept.split.smallest.size() + kept.split.above.size();
  if (m_KeptBytes + bytes > m_Budget) {
    for (auto& [size, thumbs] : m_Kept) thumbs.clear();
    m_KeptBytes = 0;
  }
  m_KeptBytes += bytes;
  return &m_KeptForPiece->insert_or_assign(record->m_LfdNr, std::move(kept)).first->second;
}

}  // namespace gq
