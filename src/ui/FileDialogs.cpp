#include "ui/FileDialogs.h"

#include <sys/stat.h>

#include <QFileDialog>
#include <utility>

#include "base/FileKind.h"
#include "base/Words.h"
#include "platform/MessageBox.h"
#include "platform/ShellLink.h"

namespace gq {
namespace {

// One filter as a label and its patterns separated by ";".
struct Filter {
  const char* label;
  const char* patterns;
};

constexpr const char* kPicturePatterns =
    "*.jpg;*.bmp;*.tiff;*.tif;*.png;*.pbm;*.ppm;*.pnm;*.pgm;*.ras;*.sr";

const std::vector<Filter>& FiltersOf(FileDialogKind kind) {
  static const std::vector<Filter> open = {
      {"GlimmerQuorum",
       "*.gqdb;*.txt;*.jpg;*.bmp;*.tiff;*.tif;*.png;*.pbm;*.ppm;*.pnm;*.pgm;*.ras;*.sr"},
      {"GlimmerQuorum DB", "*.gqdb"},
      {"Pictures", kPicturePatterns},
      {"Text", "*.txt"},
      {"All Files", "*.*"},
  };
  static const std::vector<Filter> database = {{"GlimmerQuorum DB", "*.gqdb"},
                                               {"All Files", "*.*"}};
  static const std::vector<Filter> text = {{"Text", "*.txt"}, {"All Files", "*.*"}};
  static const std::vector<Filter> none;
  switch (kind) {
    case FileDialogKind::kOpen:
      return open;
    case FileDialogKind::kSaveDatabase:
      return database;
    case FileDialogKind::kSaveText:
      return text;
    case FileDialogKind::kFolder:
      break;
  }
  return none;
}

// "*.*" names every file here, also those without a dot.
QString QtPatterns(const char* patterns) {
  QString qt = QString(patterns).replace(';', ' ');
  return qt == "*.*" ? QString("*") : qt;
}

const char* DefaultExtensionOf(FileDialogKind kind) {
  switch (kind) {
    case FileDialogKind::kSaveDatabase:
      return ".gqdb";
    case FileDialogKind::kSaveText:
      return ".txt";
    default:
      return "";
  }
}

bool HasExtension(const std::string& path) {
  size_t dot = path.find_last_of('.');
  size_t slash = path.find_last_of('/');
  return dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
}

std::vector<std::string> RunRealDialog(QWidget* parent, FileDialogKind kind,
                                       const std::string& folder) {
  std::unique_ptr<QFileDialog> dialog =
      MakeFileDialog(kind, parent, QString::fromStdString(folder));
  std::vector<std::string> chosen;
  if (dialog->exec() != QDialog::Accepted) return chosen;
  for (const QString& file : dialog->selectedFiles()) chosen.push_back(file.toStdString());
  return chosen;
}

}  // namespace

QStringList NameFilters(FileDialogKind kind) {
  QStringList filters;
  for (const Filter& filter : FiltersOf(kind)) {
    filters.append(QString("%1 (%2)").arg(filter.label, QtPatterns(filter.patterns)));
  }
  return filters;
}

std::unique_ptr<QFileDialog> MakeFileDialog(FileDialogKind kind, QWidget* parent,
                                            const QString& folder) {
  auto dialog = std::make_unique<QFileDialog>(parent, QString(), folder);
  dialog->setWindowTitle(kind == FileDialogKind::kFolder ? "Import Directory" : "GlimmerQuorum");
  switch (kind) {
    case FileDialogKind::kOpen:
      dialog->setFileMode(QFileDialog::ExistingFiles);
      break;
    case FileDialogKind::kFolder:
      dialog->setFileMode(QFileDialog::Directory);
      dialog->setOption(QFileDialog::ShowDirsOnly);
      break;
    default:
      dialog->setAcceptMode(QFileDialog::AcceptSave);
      dialog->setFileMode(QFileDialog::AnyFile);
      dialog->setDefaultSuffix(QString(DefaultExtensionOf(kind)).mid(1));
      break;
  }
  if (kind != FileDialogKind::kFolder) dialog->setNameFilters(NameFilters(kind));
  return dialog;
}

std::string DialogResult(const std::vector<std::string>& chosen,
                         const std::string& defaultExtension) {
  if (chosen.size() > 1) {
    std::string result;
    for (const std::string& path : chosen) {
      if (IsFile(path)) result += "\"" + path + "\" ";
    }
    while (!result.empty() && result.back() == ' ') result.pop_back();
    return result;
  }
  if (chosen.empty() || chosen[0].empty()) return std::string();
  std::string path = chosen[0];
  if (!HasExtension(path)) path += defaultExtension;
  path = AbsolutePath(path);
  if (IsShellLinkName(path) && !IsFolder(path)) {
    std::string target;
    if (!ResolveShellLink(path, &target)) return std::string();
    path = target;
  }
  return path;
}

FileDialogs::FileDialogs(QWidget* parent) : m_Parent(parent) {}

void FileDialogs::SetRunner(FileDialogRunner runner) { m_Runner = std::move(runner); }

std::vector<std::string> FileDialogs::Show(FileDialogKind kind, const std::string& folder) {
  if (m_Busy.exchange(true)) return {};
  std::vector<std::string> chosen =
      m_Runner ? m_Runner(kind, folder) : RunRealDialog(m_Parent, kind, folder);
  m_Busy = false;
  return chosen;
}

std::string FileDialogs::Open() {
  return DialogResult(Show(FileDialogKind::kOpen, std::string()), "");
}

std::string FileDialogs::SaveDatabase() {
  return DialogResult(Show(FileDialogKind::kSaveDatabase, std::string()), ".gqdb");
}

std::string FileDialogs::SaveText() {
  return DialogResult(Show(FileDialogKind::kSaveText, std::string()), ".txt");
}

std::string FileDialogs::StartFolder() const {
  std::string folder = m_LastFolder;
  while (!folder.empty() && !IsFolder(folder)) {
    size_t slash = folder.find_last_of('/');
    folder = slash == std::string::npos || slash == 0 ? std::string() : folder.substr(0, slash);
  }
  return folder.empty() ? NormalizePath(".") : folder;
}

std::string FileDialogs::BrowseFolder() {
  std::vector<std::string> chosen = Show(FileDialogKind::kFolder, StartFolder());
  if (chosen.empty()) return std::string();
  std::string folder = AbsolutePath(chosen[0]);
  if (!IsFolder(folder)) {
    MessageBox("Invalid Directory", kProgramCaption, MB_OK | MB_ICONERROR);
    return std::string();
  }
  m_LastFolder = folder;
  return folder;
}

}  // namespace gq
