#include "setup/SetupDialog.h"

#include <sys/stat.h>

#include <QCheckBox>
#include <QFileDialog>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/FileKind.h"
#include "setup/SetupBackground.h"
#include "ui/DialogIcon.h"

namespace gq {
namespace {

void PaintBackground(QWidget* widget) {
  QPalette palette = widget->palette();
  QColor face = palette.color(QPalette::Button);
  Rgb colour = SetupBackground({face.red(), face.green(), face.blue()});
  palette.setColor(QPalette::Window, QColor(colour.red, colour.green, colour.blue));
  widget->setPalette(palette);
  widget->setAutoFillBackground(true);
}

// The project link, underlined in the given colour (blue, red once clicked).
QString LinkText(const char* colour) {
  return QString("<a href=\"%1\" style=\"color: %2;\">%1</a>").arg(kProjectAddress, colour);
}

// Shows the wait cursor while it exists.
class WaitCursor {
 public:
  WaitCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~WaitCursor() { QGuiApplication::restoreOverrideCursor(); }
};

}  // namespace

std::string BrowseStartFolder(const std::string& folder) {
  std::string candidate = folder;
  while (!candidate.empty() && !IsFolder(candidate)) {
    size_t slash = candidate.rfind('/');
    candidate = slash == std::string::npos ? "" : candidate.substr(0, slash ? slash : 1);
  }
  return candidate.empty() ? "." : candidate;
}

SetupDialog::SetupDialog(SetupLaunchers launchers, QWidget* parent)
    : QDialog(parent), m_Launchers(std::move(launchers)) {
  setWindowTitle("GlimmerQuorum Setup");
  setWindowIcon(ProgramIcon());
  PaintBackground(this);
  auto* layout = new QVBoxLayout(this);
  BuildHeader(layout);
  BuildChoices(layout);
  BuildButtons(layout);
}

void SetupDialog::BuildHeader(QVBoxLayout* layout) {
  auto* heading = new QLabel("This program will install GlimmerQuorum on your computer.", this);
  heading->setAlignment(Qt::AlignCenter);
  layout->addWidget(heading);
  auto* product = new QHBoxLayout;
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(48, 48));
  product->addWidget(icon);
  auto* name =
      new QLabel("<b><big>GlimmerQuorum</big></b><br>View your images a different way!", this);
  product->addWidget(name, 1);
  layout->addLayout(product);
  m_Link = new QLabel(LinkText("blue"), this);
  m_Link->setObjectName("weblink");
  m_Link->setAlignment(Qt::AlignCenter);
  m_Link->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
  connect(m_Link, &QLabel::linkActivated, this, &SetupDialog::OpenLink);
  layout->addWidget(m_Link);
}

void SetupDialog::BuildChoices(QVBoxLayout* layout) {
  auto* label = new QLabel("Install Directory:", this);
  layout->addWidget(label);
  auto* row = new QHBoxLayout;
  m_Folder = new QLineEdit(QString::fromStdString(DefaultInstallFolder()), this);
  m_Folder->setObjectName("1060");
  m_Folder->setMinimumWidth(380);
  label->setBuddy(m_Folder);
  row->addWidget(m_Folder, 1);
  auto* browse = new QPushButton("...", this);
  browse->setObjectName("1061");
  browse->setAutoDefault(false);
  browse->setMaximumWidth(40);
  connect(browse, &QPushButton::clicked, this, &SetupDialog::Browse);
  row->addWidget(browse);
  layout->addLayout(row);
  m_DesktopIcon = AddCheckBox(layout, "1062", "create desktop icon", true);
  m_ProgramMenu = AddCheckBox(layout, "1063", "create program menu entry", true);
  m_Autostart = AddCheckBox(layout, "1066", "create autostart menu entry", false);
  m_StartProgram = AddCheckBox(layout, "1064", "start program", true);
  m_OnlineHelp = AddCheckBox(layout, "1065", "view online help", true);
}

QCheckBox* SetupDialog::AddCheckBox(QVBoxLayout* layout, const char* id, const char* text,
                                    bool checked) {
  auto* box = new QCheckBox(text, this);
  box->setObjectName(id);
  box->setChecked(checked);
  layout->addWidget(box);
  return box;
}

void SetupDialog::BuildButtons(QVBoxLayout* layout) {
  auto* row = new QHBoxLayout;
  row->addStretch(1);
  auto add = [&](const char* id, const char* text, void (SetupDialog::*action)()) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(id);
    connect(button, &QPushButton::clicked, this, action);
    row->addWidget(button);
    return button;
  };
  add("1", "&Install", &SetupDialog::Install)->setDefault(true);
  add("3", "&Uninstall", &SetupDialog::Uninstall)->setAutoDefault(false);
  add("2", "&Cancel", &SetupDialog::reject)->setAutoDefault(false);
  layout->addLayout(row);
}

SetupChoices SetupDialog::Choices() const {
  SetupChoices choices;
  choices.folder = m_Folder->text().toStdString();
  choices.desktopIcon = m_DesktopIcon->isChecked();
  choices.programMenu = m_ProgramMenu->isChecked();
  choices.autostart = m_Autostart->isChecked();
  choices.startProgram = m_StartProgram->isChecked();
  choices.onlineHelp = m_OnlineHelp->isChecked();
  return choices;
}

void SetupDialog::Browse() {
  std::string start = BrowseStartFolder(m_Folder->text().toStdString());
  QString chosen =
      QFileDialog::getExistingDirectory(this, "Install Directory", QString::fromStdString(start));
  if (!chosen.isEmpty()) m_Folder->setText(chosen);
}

void SetupDialog::Install() {
  {
    WaitCursor wait;
    RunInstallation(Choices(), m_Launchers);
  }
  accept();
}

void SetupDialog::Uninstall() {
  WaitCursor wait;
  RunUninstallation(m_Folder->text().toStdString());
}

void SetupDialog::OpenLink() {
  m_Link->setText(LinkText("red"));
  if (m_Launchers.openAddress) m_Launchers.openAddress(kProjectAddress);
}

}  // namespace gq
