#include "search/Mosaic.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "loading/LoadPicture.h"
#include "loading/OpenCvHighGui/loadsave.h"
#include "search/IdentityDifference.h"
#include "search/SearchEngine.h"
#include "signature/Resize.h"
#include "signature/Signature.h"
#include "signature/Thumbnail.h"

namespace gq {
namespace {

constexpr int kPhasesPerCell = 5;
constexpr int kMaxCheckedCandidates = 100;

// How many candidates a cell's tile is chosen from when tiles may be used again: at least
// the smaller number (or every record), at most the larger; more with the similarity check,
// which rejects some of them. The box search gives up after kCandidateSearchBudget steps.
constexpr int64_t kMinCandidatesChecked = 100;
constexpr int64_t kMaxCandidatesChecked = 1000;
constexpr int64_t kMinCandidates = 50;
constexpr int64_t kMaxCandidates = 500;
constexpr int kCandidateSearchBudget = 50;
// A radius of 0 lets the box search start from the radius it remembered.
constexpr double kRememberedRadius = 0;

// Copies a rectangle (x1, y1 exclusive) of a packed image.
void CopyRect(const PackedImage& from, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
              PackedImage* to) {
  to->Allocate(x1 - x0, y1 - y0);
  for (int32_t y = y0; y < y1; ++y) {
    std::memcpy(to->row(y - y0), from.row(y) + 3 * x0, static_cast<size_t>(3) * (x1 - x0));
  }
}

void PasteRect(const PackedImage& from, int32_t x0, int32_t y0, PackedImage* to) {
  for (int32_t y = 0; y < from.height; ++y) {
    std::memcpy(to->row(y0 + y) + 3 * x0, from.row(y), static_cast<size_t>(3) * from.width);
  }
}

void ChannelSums(const PackedImage& image, uint64_t sums[3]) {
  sums[0] = sums[1] = sums[2] = 0;
  for (int32_t y = 0; y < image.height; ++y) {
    const uint8_t* p = image.row(y);
    for (int32_t x = 0; x < image.width; ++x, p += 3) {
      sums[0] += p[0];
      sums[1] += p[1];
      sums[2] += p[2];
    }
  }
}

}  // namespace

WeightVector MosaicWeights(int cellSize) {
  double texture = 1.0;
  if (cellSize <= 7) {
    texture = 0;
  } else if (cellSize <= 32) {
    texture = (cellSize - 8) / 24.0;
  }
  WeightVector weights{};
  const double share = 0.5;  // centre 0.5, so every cell has the share 0.5
  for (int cell = 0; cell < 9; ++cell) {
    for (int v = 0; v < 4; ++v) weights[4 * cell + v] = share * 0.5;
  }
  for (int i = kSigTexture; i < kSigLocal; ++i) weights[i] = texture;
  const double largest = *std::max_element(weights.begin(), weights.end());
  for (double& w : weights) w /= largest;
  return weights;
}

double TypicalAspect(const ImageRecordDB& db) {
  double landscapeSum = 0, portraitSum = 0;
  int64_t landscape = 0, portrait = 0;
  for (ImageRecord* record : db.Records()) {
    const double w = record->m_PictureWidth, h = record->m_PictureHeight;
    if (w <= 0 || h <= 0) continue;
    const double f = h < w ? 1 - h / w : w / h - 1;
    if (f > 0) {
      landscapeSum += f;
      ++landscape;
    } else {
      portraitSum += f;
      ++portrait;
    }
  }
  if (landscape + portrait == 0) return 1.0;
  double mean;
  if (landscape > 2 * portrait) {
    mean = landscapeSum / landscape;
  } else if (portrait > 2 * landscape) {
    mean = portraitSum / portrait;
  } else {
    mean = (landscapeSum + portraitSum) / (landscape + portrait);
  }
  return mean >= 0 ? 1 / (1 - mean) : mean + 1;
}

int32_t MosaicRowsFor(int32_t columns, int32_t sourceWidth, int32_t sourceHeight, double m) {
  if (sourceWidth <= 0) return 0;
  return static_cast<int32_t>(std::trunc(m * sourceHeight * columns / sourceWidth + 0.5));
}

int32_t MosaicColumnsFor(int32_t rows, int32_t sourceWidth, int32_t sourceHeight, double m) {
  if (sourceHeight <= 0 || m <= 0) return 0;
  return static_cast<int32_t>(std::trunc(rows * double(sourceWidth) / (m * sourceHeight) + 0.5));
}

int32_t MosaicHeightFor(int32_t width, int32_t sourceWidth, int32_t sourceHeight) {
  if (sourceWidth <= 0) return 0;
  return static_cast<int32_t>((int64_t{sourceHeight} * width + sourceWidth / 2) / sourceWidth);
}

int32_t MosaicWidthFor(int32_t height, int32_t sourceWidth, int32_t sourceHeight) {
  if (sourceHeight <= 0) return 0;
  return static_cast<int32_t>((int64_t{sourceWidth} * height + sourceHeight / 2) / sourceHeight);
}

std::vector<int32_t> SpiralOrder(int32_t rows, int32_t columns) {
  std::vector<int32_t> order;
  if (rows <= 0 || columns <= 0) return order;
  const int64_t total = int64_t{rows} * columns;
  order.reserve(static_cast<size_t>(total));
  const int32_t centreRow = rows / 2, centreColumn = columns / 2;
  int32_t x = 0, y = 0, dx = 1, dy = 0;
  while (static_cast<int64_t>(order.size()) < total) {
    const int32_t row = centreRow + y, column = centreColumn + x;
    if (row >= 0 && row < rows && column >= 0 && column < columns) {
      order.push_back(row * columns + column);
    }
    if (x == y && x <= 0) {  // top-left corner: up onto the next ring, then right
      --y;
      dx = 1;
      dy = 0;
      continue;
    }
    if (x == -y && x > 0) {
      dx = 0;
      dy = 1;
    } else if (x == y && x > 0) {
      dx = -1;
      dy = 0;
    } else if (x == -y && x <= 0) {
      dx = 0;
      dy = -1;
    }
    x += dx;
    y += dy;
  }
  return order;
}

void CorrectColours(const PackedImage& piece, PackedImage* tile) {
  uint64_t pieceSums[3], tileSums[3];
  ChannelSums(piece, pieceSums);
  ChannelSums(*tile, tileSums);
  const double pieceArea = static_cast<double>(piece.width) * piece.height;
  const double tileArea = static_cast<double>(tile->width) * tile->height;
  uint64_t factors[3];
  for (int c = 0; c < 3; ++c) {
    // A channel without any value stays 0 whatever its factor.
    const double factor = tileSums[c] == 0 || pieceArea == 0
                              ? 0
                              : (tileArea * pieceSums[c]) / (pieceArea * tileSums[c]);
    factors[c] = static_cast<uint64_t>(std::min(std::trunc(factor * 65536), 4294967295.0));
  }
  for (int32_t y = 0; y < tile->height; ++y) {
    uint8_t* p = tile->row(y);
    for (int32_t x = 0; x < tile->width; ++x, p += 3) {
      for (int c = 0; c < 3; ++c) {
        const uint64_t product = p[c] * factors[c];
        p[c] = product >= (uint64_t{1} << 24)
                   ? 255
                   : static_cast<uint8_t>(std::min<uint64_t>(255, product >> 16));
      }
    }
  }
}

void BlendTile(const PackedImage& source, double x, bool masked, PackedImage* tile) {
  const int32_t w = tile->width, h = tile->height;
  const double exponent = 3 * x + 0.01;
  for (int32_t r = 0; r < h; ++r) {
    const uint8_t* o = source.row(r);
    uint8_t* t = tile->row(r);
    const double rowCos = std::max(0.0, std::cos((r - h / 2.0) * M_PI / h));
    for (int32_t j = 0; j < w; ++j, o += 3, t += 3) {
      double share = x;
      if (masked) {
        const double base = std::max(0.0, std::cos((j - w / 2.0) * M_PI / w)) * rowCos;
        share = x * (1 - std::pow(base, exponent));
      }
      for (int c = 0; c < 3; ++c) {
        t[c] = static_cast<uint8_t>(std::trunc((1 - share) * t[c] + share * o[c]));
      }
    }
  }
}

std::string MosaicRun::Setup(const MosaicOptions& options, PackedImage source) {
  if (options.rows <= 0 || options.columns <= 0 || source.width / options.columns < 3 ||
      source.height / options.rows < 3) {
    return "Picture is too small for given number of rows and columns.";
  }
  Discard();
  try {
    m_Options = options;
    m_Tiles.assign(static_cast<size_t>(options.rows) * options.columns, -1);
    m_Spiral = SpiralOrder(options.rows, options.columns);
  } catch (const std::bad_alloc&) {
    Discard();
    return "Out of memory.";
  }
  if (options.useCurrentCriteria) {
    m_Weights = BuildWeights(CurrentCriteria());
  } else {
    m_Weights =
        MosaicWeights(std::min(source.width / options.columns, source.height / options.rows));
  }
  m_Source = std::move(source);
  if (!AllocateCanvas(options.width, options.height)) {
    Discard();
    return "Can't create new image.";
  }
  if (options.blending > 0 || options.masked) {
    FitResize(m_Source.width, m_Source.height, m_Source.pixels.data(), m_Canvas.width,
              m_Canvas.height, &m_Canvas);
  }
  m_Active = true;
  m_Cancelled = false;
  m_Step = 0;
  return "";
}

bool MosaicRun::AllocateCanvas(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return false;
  try {
    m_Canvas.Allocate(width, height);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void MosaicRun::Discard() {
  m_Active = false;
  m_Step = -1;
  m_Source.Clear();
  m_Canvas.Clear();
  m_Tiles.clear();
  m_UsedTiles.clear();
  m_Spiral.clear();
  m_Piece.Clear();
  m_PieceThumb.Clear();
  m_Tile.Clear();
  m_HasTile = false;
  m_Check.Clear();
}

bool MosaicRun::WriteCanvas() const {
  if (m_Canvas.empty()) return false;
  IplImage* header = cvCreateImageHeader({m_Canvas.width, m_Canvas.height}, IPL_DEPTH_8U, 3);
  if (header == nullptr) return false;
  header->imageData = header->imageDataOrigin =
      reinterpret_cast<char*>(const_cast<uint8_t*>(m_Canvas.pixels.data()));
  const bool written = cvSaveImage(m_Options.file.c_str(), header) == 1;
  header->imageData = header->imageDataOrigin = nullptr;
  cvReleaseImageHeader(&header);
  return written;
}

int MosaicRun::Step(bool* written) {
  if (written != nullptr) *written = false;
  if (!m_Active) return -1;
  const int64_t k = m_Step;
  ++m_Step;
  if (k < 0) {
    const bool saved = WriteCanvas();
    if (written != nullptr) *written = saved;
    Discard();
    return -1;
  }
  const int64_t cells = static_cast<int64_t>(m_Tiles.size());
  const int64_t i = k / kPhasesPerCell;
  if (i >= cells) {
    m_Step = -1;
    return 100;
  }
  const int32_t cell = m_Spiral[i];
  const int32_t row = cell / m_Options.columns, column = cell % m_Options.columns;
  switch (k % kPhasesPerCell) {
    case 0:
      CutPiece(row, column);
      break;
    case 1:
      MakeCellSignature();
      break;
    case 2:
      ChooseTile(cell);
      break;
    case 3:
      BetterTile(row, column);
      break;
    default:
      DrawTile(row, column);
      break;
  }
  return static_cast<int>(i * 100 / cells);
}

void MosaicRun::CellRect(int32_t row, int32_t column, int32_t width, int32_t height, int32_t* x0,
                         int32_t* y0, int32_t* x1, int32_t* y1) const {
  const int64_t columns = m_Options.columns, rows = m_Options.rows;
  *x0 = static_cast<int32_t>(column * int64_t{width} / columns);
  *x1 = static_cast<int32_t>((column + 1) * int64_t{width} / columns);
  *y0 = static_cast<int32_t>(row * int64_t{height} / rows);
  *y1 = static_cast<int32_t>((row + 1) * int64_t{height} / rows);
}

void MosaicRun::CutPiece(int32_t row, int32_t column) {
  int32_t x0, y0, x1, y1;
  CellRect(row, column, m_Source.width, m_Source.height, &x0, &y0, &x1, &y1);
  CopyRect(m_Source, x0, y0, x1, y1, &m_Piece);
  MakeThumbnail(m_Piece.width, m_Piece.height, m_Piece.stride(), m_Piece.pixels.data(),
                kThumbnailSide, &m_PieceThumb);
}

void MosaicRun::MakeCellSignature() {
  std::fill(std::begin(m_CellSignature), std::end(m_CellSignature), 0);
  if (!m_PieceThumb.empty()) {
    ComputeSignature(m_PieceThumb.width, m_PieceThumb.height, m_PieceThumb.pixels.data(),
                     m_Source.width, m_Source.height, m_CellSignature);
  }
  // The source's place in path order, as the index gave it to the source's record.
  const ImageRecord* source = m_Engine.Db().FindByLfdNr(m_Options.sourceLfdNr);
  m_CellSignature[kSigFilePath] = source != nullptr ? source->m_Signature[kSigFilePath] : 0;
}

void MosaicRun::ChooseTile(int32_t cell) {
  m_HasTile = false;
  m_Tile.Clear();
  ImageRecordDB& db = m_Engine.Db();
  SimilarityIndex& index = m_Engine.Index();
  if (!m_Engine.EnsureIndex() || !index.HasTree()) return;
  const int64_t records = db.Count();
  const int64_t cells = static_cast<int64_t>(m_Tiles.size());
  const bool check = m_Options.similarityCheck;
  int64_t minimum, maximum;
  if (m_Options.avoidReuse) {
    minimum = std::min(records, cells);
    maximum = 2 * cells;
  } else {
    minimum = std::min<int64_t>(records, check ? kMinCandidatesChecked : kMinCandidates);
    maximum = check ? kMaxCandidatesChecked : kMaxCandidates;
  }
  maximum = std::min<int64_t>(maximum, INT32_MAX - 2);
  index.CandidateSearch(m_CellSignature, m_Weights, static_cast<int32_t>(minimum),
                        static_cast<int32_t>(maximum), kRememberedRadius, kCandidateSearchBudget);
  std::vector<ScoredRecord> candidates =
      index.ScoreCandidates(db, m_CellSignature, m_Weights, nullptr);
  if (m_Options.avoidReuse && !candidates.empty()) {
    std::vector<ScoredRecord> unused;
    for (const ScoredRecord& candidate : candidates) {
      if (candidate.record != nullptr && !m_UsedTiles.count(candidate.record->m_LfdNr)) {
        unused.push_back(candidate);
      }
    }
    if (unused.size() <= 1) unused.assign(1, candidates.front());
    candidates.swap(unused);
  }
  auto isSource = [&](const ScoredRecord& candidate) {
    return m_Options.excludeSource && candidate.record != nullptr &&
           candidate.record->m_LfdNr == m_Options.sourceLfdNr;
  };
  ImageRecord* winner = nullptr;
  if (check) {
    m_Check.SetPiece(m_PieceThumb);
    double best = kRejectedDistance;
    const size_t considered = std::min<size_t>(candidates.size(), kMaxCheckedCandidates);
    for (size_t i = 0; i < considered; ++i) {
      const ScoredRecord& candidate = candidates[i];
      if (candidate.record == nullptr || candidate.distance >= kRejectedDistance ||
          isSource(candidate)) {
        continue;
      }
      double difference;
      if (!m_Check.Difference(db, candidate.record, &difference)) continue;
      const double score = difference * candidate.distance;
      if (score < best) {
        best = score;
        winner = candidate.record;
      }
    }
  } else if (!candidates.empty()) {
    size_t choice = isSource(candidates[0]) ? 1 : 0;
    if (choice < candidates.size() && candidates[choice].distance < kRejectedDistance) {
      winner = candidates[choice].record;
    }
  }
  if (winner == nullptr) return;
  m_Tiles[cell] = winner->m_LfdNr;
  m_UsedTiles.insert(winner->m_LfdNr);
  m_HasTile = CopyThumbnail(db, winner, &m_Tile);
}

void MosaicRun::BetterTile(int32_t row, int32_t column) {
  if (!m_HasTile) return;
  int32_t x0, y0, x1, y1;
  CellRect(row, column, m_Canvas.width, m_Canvas.height, &x0, &y0, &x1, &y1);
  const int32_t cellWidth = x1 - x0, cellHeight = y1 - y0;
  if (m_Tile.width >= cellWidth && m_Tile.height >= cellHeight) return;
  const ImageRecord* record = m_Engine.Db().FindByLfdNr(m_Tiles[row * m_Options.columns + column]);
  if (record == nullptr) return;
  IplImage* picture = LoadPicture(record->m_Path.c_str(), 1);
  if (picture == nullptr) return;
  PackedImage better;
  const int nx = std::max(1, picture->width / std::max(cellWidth, 1));
  const int ny = std::max(1, picture->height / std::max(cellHeight, 1));
  if (picture->nChannels == 3 &&
      BlockAverage(picture->width, picture->height, picture->widthStep,
                   reinterpret_cast<const uint8_t*>(picture->imageData), nx, ny, &better)) {
    m_Tile = std::move(better);
  }
  cvReleaseImage(&picture);
}

void MosaicRun::DrawTile(int32_t row, int32_t column) {
  if (m_HasTile && !m_Tile.empty()) {
    int32_t x0, y0, x1, y1;
    CellRect(row, column, m_Canvas.width, m_Canvas.height, &x0, &y0, &x1, &y1);
    PackedImage resized;
    if (x1 > x0 && y1 > y0 &&
        FitResize(m_Tile.width, m_Tile.height, m_Tile.pixels.data(), x1 - x0, y1 - y0, &resized)) {
      if (m_Options.correctColours) CorrectColours(m_Piece, &resized);
      if (m_Options.blending > 0 || m_Options.masked) {
        PackedImage under;
        CopyRect(m_Canvas, x0, y0, x1, y1, &under);
        BlendTile(under, m_Options.blending * 0.01, m_Options.masked, &resized);
      }
      PasteRect(resized, x0, y0, &m_Canvas);
    }
  }
  m_Tile.Clear();
  m_Piece.Clear();
  m_HasTile = false;
}

}  // namespace gq
