#include "ui/ImportFilterDialog.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <cctype>
#include <mutex>

#include "frame/Settings.h"
#include "loading/ImportFilter.h"
#include "ui/DialogIcon.h"

namespace gq {
namespace {

QLineEdit* ExampleField(const char* text, QWidget* parent) {
  auto* field = new QLineEdit(text, parent);
  field->setReadOnly(true);
  return field;
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  return button;
}

}  // namespace

std::string NormaliseTypesField(std::string_view text) {
  std::string types = NormaliseTypeList(text);
  while (!types.empty() && std::isspace(static_cast<unsigned char>(types.back()))) {
    types.pop_back();
  }
  return types;
}

ImportFilterDialog::ImportFilterDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("GlimmerQuorum - Import Filter");
  setWindowIcon(ProgramIcon());
  m_Command = new QLineEdit(this);
  m_Command->setObjectName("command");
  m_Types = new QLineEdit(this);
  m_Types->setObjectName("types");
  {
    std::lock_guard<std::mutex> lock(ImportFilterLock());
    m_Command->setText(QString::fromStdString(g_settings.importCommand));
    m_Types->setText(QString::fromStdString(g_settings.importTypes));
  }
  auto* layout = new QVBoxLayout(this);
  auto label = [&](const char* text) { layout->addWidget(new QLabel(text, this)); };
  label("Give a command to convert a picture file of unknown format into a windows bitmap.");
  label("%1 in the command is substituted by the source file name.");
  label("%2 in the command is substituted by a destination file name with .bmp suffix.");
  label("Hint: don't \"quote\" the path of the executable at the beginning of the command.");
  layout->addWidget(m_Command);
  label(
      "Optionally give a list of file types to be loaded with the filter command above. "
      "Example:");
  layout->addWidget(ExampleField("gif raw img tif tiff tim xbm xpm", this));
  layout->addWidget(m_Types);
  layout->addSpacing(8);
  label("A copy&paste example for using IrfanView when installed on a German Windows:");
  layout->addWidget(
      ExampleField("C:\\Programme\\IrfanView\\i_view32.exe \"%1\" /silent /convert=\"%2\"", this));
  label("To use XnViews NConvert utility on an English Windows, it would be something like:");
  layout->addWidget(ExampleField(
      "C:\\Program Files\\XnView\\NConvert.exe -quiet -out bmp -o \"%2\" \"%1\"", this));

  QPushButton* ok = Button("&OK", "ok", this);
  QPushButton* cancel = Button("&Cancel", "cancel", this);
  QPushButton* test = Button("&Test", "test", this);
  test->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &ImportFilterDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(test, &QPushButton::clicked, this, &ImportFilterDialog::Test);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  buttons->addWidget(test);
  layout->addLayout(buttons);
  setMinimumWidth(560);
}

bool ImportFilterDialog::Test() {
  std::string types = m_Types->text().toStdString();
  const bool ok = TestImportFilter(&types, m_Command->text().toStdString());
  m_Types->setText(QString::fromStdString(NormaliseTypesField(types)));
  return ok;
}

void ImportFilterDialog::accept() {
  m_Types->setText(QString::fromStdString(NormaliseTypesField(m_Types->text().toStdString())));
  {
    std::lock_guard<std::mutex> lock(ImportFilterLock());
    g_settings.importCommand = m_Command->text().toStdString();
    g_settings.importTypes = m_Types->text().toStdString();
  }
  QDialog::accept();
}

}  // namespace gq
