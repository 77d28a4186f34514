// The mosaic: rebuilds a source picture out of the thumbnails of other pictures of the
// database. The source is cut into rows x columns cells; cell by cell, from the centre
// outwards in a spiral, five steps each (cut, signature, choose the tile, fetch a
// better tile, draw), a tile is chosen through the similarity index and drawn onto the
// canvas, optionally colour-corrected and blended with the source. One run at a time,
// owned by the SearchEngine; used only on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

#include "db/ImageRecordDB.h"
#include "search/PieceCheck.h"
#include "signature/PackedImage.h"
#include "signature/Similarity.h"

namespace gq {

class SearchEngine;

inline constexpr const char* kDefaultMosaicFile = "GlimmerQuorumMosaic.bmp";

struct MosaicOptions {
  std::string file;          // output picture; its extension picks the format
  int32_t sourceLfdNr = -1;  // the source's record, -1 when it is not in the database
  int32_t width = 1024;      // output size in pixels
  int32_t height = 768;
  int32_t rows = 30;
  int32_t columns = 20;
  bool useCurrentCriteria = false;  // off: the mosaic weights
  bool similarityCheck = true;      // "use additional similarity check"
  bool correctColours = true;       // "correct colors of tile-pictures"
  bool excludeSource = false;       // "don't use original picture"
  bool avoidReuse = false;          // "avoid reuse of tiles"
  bool masked = true;               // "masked blending"
  int32_t blending = 30;            // 0 ("mosaic") ... 100 ("original")
};

// The weights for cells of s x s source pixels: the nine cells' colour, saturation and
// brightness at 0.5 each (centre 0.5), texture 0 up to 7 pixels, (s - 8) / 24 up to 32,
// 1 above; everything else 0; normalised to a largest weight of 1.
WeightVector MosaicWeights(int cellSize);

// The typical aspect of the database's pictures: the mean width-to-height ratio of the
// majority orientation (landscape or portrait), or of all when neither dominates.
// 1 for an empty database.
double TypicalAspect(const ImageRecordDB& db);

// The arrow buttons of the mosaic dialog: rows for the columns (and back) so that the
// cells take the typical aspect m of the database's pictures, and the output height
// for the width (and back) so that the mosaic keeps the source's aspect.
int32_t MosaicRowsFor(int32_t columns, int32_t sourceWidth, int32_t sourceHeight, double m);
int32_t MosaicColumnsFor(int32_t rows, int32_t sourceWidth, int32_t sourceHeight, double m);
int32_t MosaicHeightFor(int32_t width, int32_t sourceWidth, int32_t sourceHeight);
int32_t MosaicWidthFor(int32_t height, int32_t sourceWidth, int32_t sourceHeight);

// The cell positions (row * columns + column) in the order the mosaic fills them: from
// the centre clockwise on growing square rings, positions outside the grid skipped.
std::vector<int32_t> SpiralOrder(int32_t rows, int32_t columns);

// Colour correction of a tile towards a piece: each channel of tile is scaled by
// (tile area * piece sum) / (piece area * tile sum) in 16.16 fixed point, unsigned
// 32-bit, where a product of 2^24 or more gives 255.
void CorrectColours(const PackedImage& piece, PackedImage* tile);

// Blends tile over the source pixels under it (same size): plain gives
// x * source + (1 - x) * tile; masked lets the tile show fully at the centre and the
// source through towards the edges, up to the share x.
void BlendTile(const PackedImage& source, double x, bool masked, PackedImage* tile);

class MosaicRun {
 public:
  explicit MosaicRun(SearchEngine& engine) : m_Engine(engine) {}

  // Starts a run over source (taken over). Returns "" or one of "Picture is too small
  // for given number of rows and columns.", "Out of memory.", "Can't create new image.".
  std::string Setup(const MosaicOptions& options, PackedImage source);
  // One step. Returns the progress 0-100, or -1 when the run has ended: the canvas was
  // written to the file (a cancelled run writes its partial picture) and the state is
  // gone. *written (optional) tells whether the file was written.
  int Step(bool* written = nullptr);
  // The next step writes the file and ends the run.
  void Cancel() {
    m_Step = -1;
    m_Cancelled = m_Active;
  }
  // Whether the last run was ended by Cancel.
  bool WasCancelled() const { return m_Cancelled; }
  // Forgets the run without writing anything.
  void Discard();
  bool Active() const { return m_Active; }
  // Writes the current canvas to the run's file (the dialog's View).
  bool WriteCanvas() const;

  const PackedImage& Canvas() const { return m_Canvas; }
  // The chosen tile per cell (row * columns + column), -1 = none.
  const std::vector<int32_t>& Tiles() const { return m_Tiles; }

 private:
  // Allocates the output picture; false for a size of 0 or one that does not fit in memory.
  bool AllocateCanvas(int32_t width, int32_t height);
  void CutPiece(int32_t row, int32_t column);
  void MakeCellSignature();
  void ChooseTile(int32_t cell);
  void BetterTile(int32_t row, int32_t column);
  void DrawTile(int32_t row, int32_t column);
  void CellRect(int32_t row, int32_t column, int32_t width, int32_t height, int32_t* x0,
                int32_t* y0, int32_t* x1, int32_t* y1) const;

  SearchEngine& m_Engine;
  bool m_Active = false;
  bool m_Cancelled = false;
  int64_t m_Step = -1;
  MosaicOptions m_Options;
  PackedImage m_Source;
  PackedImage m_Canvas;
  std::vector<int32_t> m_Tiles;
  std::unordered_set<int32_t> m_UsedTiles;
  std::vector<int32_t> m_Spiral;
  WeightVector m_Weights{};
  int16_t m_CellSignature[kSignatureLength] = {};
  PackedImage m_Piece;
  PackedImage m_PieceThumb;
  PackedImage m_Tile;
  bool m_HasTile = false;
  PieceCheck m_Check;  // the similarity check's thumbnails, kept for the run
};

}  // namespace gq
