// The program's file and folder dialogs: open (several files), save of a database or
// a text list (each asking before overwriting), and browse for folder. Only
// one dialog is open at a time; a second request fails at once. What a dialog returns
// follows one rule: several chosen files make one string of double-quoted paths, one
// file its full path (with the default extension when it has none, a link file replaced
// by its target). The dialog itself is a replaceable function, so that tests answer it
// with chosen names. Used on the user-interface thread.
#pragma once

#include <QStringList>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QFileDialog;
class QWidget;

namespace gq {

enum class FileDialogKind { kOpen, kSaveDatabase, kSaveText, kFolder };

// The name filters of a dialog, in the order the dialog offers them.
QStringList NameFilters(FileDialogKind kind);

// The real dialog, set up for kind (modes, filters, default suffix), starting in folder.
std::unique_ptr<QFileDialog> MakeFileDialog(FileDialogKind kind, QWidget* parent,
                                            const QString& folder);

// The string of what was chosen: "" when nothing (or, for one file, a link file whose
// target cannot be had). defaultExtension (with its dot) is appended to a single name
// that has no extension.
std::string DialogResult(const std::vector<std::string>& chosen,
                         const std::string& defaultExtension);

// Shows a dialog of kind starting in folder; the chosen paths, none when cancelled.
using FileDialogRunner =
    std::function<std::vector<std::string>(FileDialogKind kind, const std::string& folder)>;

class FileDialogs {
 public:
  // The real dialogs, owned by parent.
  explicit FileDialogs(QWidget* parent);

  // Each returns "" when cancelled, when another dialog is open, or as DialogResult says.
  std::string Open();
  std::string SaveDatabase();
  std::string SaveText();
  // The chosen folder (kept as the start of the next browse); "Invalid Directory" is
  // reported when the choice is not a folder.
  std::string BrowseFolder();

  // Replaces the dialogs (tests); an empty function restores the real ones.
  void SetRunner(FileDialogRunner runner);
  bool Busy() const { return m_Busy; }

 private:
  std::vector<std::string> Show(FileDialogKind kind, const std::string& folder);
  std::string StartFolder() const;

  QWidget* m_Parent;
  FileDialogRunner m_Runner;
  std::atomic<bool> m_Busy{false};  // set while a dialog is open (exchange)
  std::string m_LastFolder;
};

}  // namespace gq
