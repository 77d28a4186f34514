// The modeless "GlimmerQuorum - Search Duplicates" dialog: the Results / Similarity
// slider, the two check boxes, "&Search" (labelled "&Cancel" while the search runs; a
// press then cancels it), the progress bar and the result line. The search runs in
// steps on the user-interface thread with the pending events dispatched between steps,
// so the dialog stays live. Created hidden by the program; OK, Esc and the close box
// hide it. Owned by its parent window; user-interface thread only.
#pragma once

#include <QDialog>
#include <functional>

#include "search/StepRunner.h"

class QCheckBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QSlider;

namespace gq {

class SearchEngine;

class DuplicatesDialog : public QDialog {
 public:
  struct Hooks {
    // Switches the view to Search Duplicates and repaints it (unset: a beep, the search
    // runs anyway).
    std::function<void()> showDuplicatesView;
    // Whether the view shows Search Duplicates, and its repaint.
    std::function<bool()> viewShowsDuplicates;
    std::function<void()> repaintView;
    // Dispatches the pending events between steps; false on a quit request. Unset:
    // DispatchDialogEvents.
    std::function<bool()> dispatchMessages;
  };
  Hooks hooks;

  DuplicatesDialog(SearchEngine& engine, QWidget* parent = nullptr);

  // "&Search": runs the search to its end, or cancels the running one.
  RunOutcome Search();

 private:
  SearchEngine& m_Engine;
  QSlider* m_Similarity;
  QCheckBox* m_DefaultCriteria;
  QCheckBox* m_IdentityCheck;
  QPushButton* m_Search;
  QProgressBar* m_Progress;
  QLabel* m_Result;
};

}  // namespace gq
