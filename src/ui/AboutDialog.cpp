#include "ui/AboutDialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/DialogIcon.h"

namespace gq {
namespace {

// A clickable text: blue and underlined, the hand pointer over it; a click turns it
// red, takes the focus and calls onClick; losing the focus turns it blue again.
class LinkText : public QLabel {
 public:
  std::function<void()> onClick;

  LinkText(const QString& text, QWidget* parent) : QLabel(text, parent) {
    QFont underlined = font();
    underlined.setUnderline(true);
    setFont(underlined);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::ClickFocus);
    SetColour(Qt::blue);
  }

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override {
    if (event->button() != Qt::LeftButton) return;
    SetColour(Qt::red);
    setFocus(Qt::MouseFocusReason);
    if (onClick) onClick();
  }
  void focusOutEvent(QFocusEvent* event) override {
    SetColour(Qt::blue);
    QLabel::focusOutEvent(event);
  }

 private:
  void SetColour(Qt::GlobalColor colour) {
    QPalette palette = this->palette();
    palette.setColor(QPalette::WindowText, colour);
    setPalette(palette);
  }
};

}  // namespace

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  setWindowTitle("GlimmerQuorum - About");
  setWindowIcon(ProgramIcon());

  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(48, 48));
  auto* version = new QLabel(QString("GlimmerQuorum Version") + kVersionSuffix, this);
  version->setObjectName("version");
  QFont bold = version->font();
  bold.setBold(true);
  version->setFont(bold);
  auto* thanks = new QLabel(
      "Picture files are read through the OpenCV image library and the format libraries "
      "it builds on (libjpeg, libpng, libtiff and zlib). Many thanks to their authors.",
      this);
  thanks->setWordWrap(true);

  auto* link = new LinkText(kProjectPage, this);
  link->setObjectName("link");
  link->onClick = [this] { openUrl(QUrl(kProjectPage)); };
  auto* group = new QGroupBox("Further Information and Online Help ", this);
  auto* groupLayout = new QVBoxLayout(group);
  groupLayout->addWidget(link);

  auto* ok = new QPushButton("&OK", this);
  ok->setObjectName("ok");
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  auto* texts = new QVBoxLayout;
  texts->addWidget(version);
  texts->addWidget(thanks);
  top->addLayout(texts, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(group);
  layout->addWidget(ok, 0, Qt::AlignRight);
  setFixedWidth(440);
}

}  // namespace gq
