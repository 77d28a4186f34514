// The modeless criteria dialog "GlimmerQuorum - Criterias": one slider 0-100 per
// criterion (object name = the slider's control number), in the groups Global, Coarse,
// Local and Other, the ignore / normal / important buttons of the three preset rows,
// and Save / Load of criteria files. A moved slider changes the current criteria at
// once; the sliders follow the current criteria when RefreshSliders is called (the
// presets, Load and the adjustment commands do). Created hidden by the program; OK, Esc
// and the close box hide it. Owned by its parent window; user-interface thread only.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <string>

#include "signature/Criteria.h"

class QSlider;

namespace gq {

class CriteriaDialog : public QDialog {
 public:
  struct Hooks {
    // Asks for a criteria file to save to (save) or load from; "" when cancelled.
    // Unset: a file dialog offering ".txt".
    std::function<std::string(bool save)> askFileName;
    // The current criteria were replaced by a file: the current search is repeated.
    std::function<void()> criteriaLoaded;
  };
  Hooks hooks;

  explicit CriteriaDialog(QWidget* parent = nullptr);

  // Moves every slider to the current criteria (values outside 0-100 shown clipped)
  // without changing them.
  void RefreshSliders();
  // Writes the current criteria to a file; a failure has been shown ("Can't write file.").
  bool SaveCriteria(const std::string& path);
  // Reads a file into the current criteria (numbers before a failure stay stored),
  // moves the sliders and repeats the search; a failure shows "Can't read criterias file.".
  bool LoadCriteria(const std::string& path);

 private:
  QWidget* MakeGroup(const char* title, std::initializer_list<int> criteria, int presetRow);
  std::string AskFileName(bool save);

  std::array<QSlider*, kCriteriaCount> m_Sliders{};
};

}  // namespace gq
