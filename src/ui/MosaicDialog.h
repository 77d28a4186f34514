// The modeless "GlimmerQuorum - Create Mosaic Picture" dialog: columns and rows, output
// width and height (each with arrow buttons that derive one from the other), the file
// name with "...", the options, the blending slider, "&Create" (labelled "&Cancel" while
// the mosaic runs; a press then cancels it), "&View" and the progress bar. The source
// is the thumbnail view's current picture. The run goes in steps on the user-interface
// thread with the pending events dispatched between steps. Created hidden by the
// program; OK, Esc and the close box hide it. Owned by its parent window;
// user-interface thread only.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <string>

#include "search/Mosaic.h"
#include "search/StepRunner.h"

class QCheckBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSlider;

namespace gq {

class SearchEngine;
class ThumbsView;

// How one number field reads: a single decimal integer inside the range, one outside it
// (*value is then clamped into the range), or no single integer at all.
enum class FieldRead { kValid, kClamped, kNotANumber };
FieldRead ReadMosaicField(const std::string& text, int32_t low, int32_t high, int32_t* value);

// Why the mosaic could not be written to path, found before the run starts: its folder
// does not exist, or its extension names no picture type the program writes. "" when
// neither.
std::string MosaicFileProblem(const std::string& path);

class MosaicDialog : public QDialog {
 public:
  struct Hooks {
    // Shows a picture file in the picture viewer (unset: a beep).
    std::function<void(const std::string& path)> viewFile;
    // Asks for the output file, starting at the current absolute name; "" when
    // cancelled. Unset: a save-file dialog offering ".bmp".
    std::function<std::string(const std::string& current)> askFileName;
    // Dispatches the pending events between steps; false on a quit request. Unset:
    // DispatchDialogEvents.
    std::function<bool()> dispatchMessages;
  };
  Hooks hooks;

  MosaicDialog(SearchEngine& engine, ThumbsView& view, QWidget* parent = nullptr);

  // "&Create": makes the mosaic and shows it, or cancels the running one.
  RunOutcome Create();
  // "&View": writes the canvas of a mosaic still in hand, then shows the named file.
  void View();

 private:
  // Reads the four numbers (clamping and writing back), the options and the file name.
  // False after the error box "Error reading parameters.".
  bool ReadParameters(MosaicOptions* options);
  // The current picture decoded in full colour; false after its error box.
  bool ReadSource(MosaicOptions* options, PackedImage* source);
  // The arrow buttons: which field is derived from which.
  enum class Arrow { kRowsFromColumns, kColumnsFromRows, kHeightFromWidth, kWidthFromHeight };
  void DeriveField(Arrow arrow);
  void Browse();
  std::string AbsoluteFileName() const;

  SearchEngine& m_Engine;
  ThumbsView& m_View;
  QLineEdit* m_Columns;
  QLineEdit* m_Rows;
  QLineEdit* m_Width;
  QLineEdit* m_Height;
  QLineEdit* m_File;
  QCheckBox* m_DefaultCriteria;
  QCheckBox* m_SimilarityCheck;
  QCheckBox* m_CorrectColours;
  QCheckBox* m_ExcludeSource;
  QCheckBox* m_AvoidReuse;
  QCheckBox* m_Masked;
  QSlider* m_Blending;
  QPushButton* m_Create;
  QProgressBar* m_Progress;
};

}  // namespace gq
