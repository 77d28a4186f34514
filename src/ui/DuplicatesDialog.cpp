#include "ui/DuplicatesDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include "platform/Beep.h"
#include "search/DuplicateSearch.h"
#include "ui/DialogEvents.h"
#include "ui/DialogIcon.h"

namespace gq {
namespace {

// One line of the slider: its name, the left and the right end.
void AddSliderLine(QGridLayout* grid, int row, const char* name, const char* left,
                   const char* right, QWidget* parent) {
  grid->addWidget(new QLabel(name, parent), row, 0);
  grid->addWidget(new QLabel(left, parent), row, 1);
  grid->addWidget(new QLabel(right, parent), row, 3, Qt::AlignRight);
}

}  // namespace

DuplicatesDialog::DuplicatesDialog(SearchEngine& engine, QWidget* parent)
    : QDialog(parent), m_Engine(engine) {
  setWindowTitle("GlimmerQuorum - Search Duplicates");
  setWindowIcon(ProgramIcon());
  m_Similarity = new QSlider(Qt::Horizontal, this);
  m_Similarity->setObjectName("similarity");
  m_Similarity->setRange(0, 100);
  m_Similarity->setValue(kDefaultDuplicateSimilarity);
  m_Similarity->setMinimumWidth(200);
  m_DefaultCriteria = new QCheckBox("use default similarity criterias", this);
  m_DefaultCriteria->setObjectName("defaultCriteria");
  m_DefaultCriteria->setChecked(true);
  m_IdentityCheck = new QCheckBox("use additional identity check", this);
  m_IdentityCheck->setObjectName("identityCheck");
  m_Search = new QPushButton("&Search", this);
  m_Search->setObjectName("search");
  m_Search->setDefault(true);
  connect(m_Search, &QPushButton::clicked, this, [this] { Search(); });
  auto* ok = new QPushButton("&OK", this);
  ok->setObjectName("ok");
  ok->setAutoDefault(false);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  m_Progress = new QProgressBar(this);
  m_Progress->setObjectName("progress");
  m_Progress->setRange(0, 100);
  m_Progress->setValue(0);
  m_Progress->setTextVisible(false);
  m_Result = new QLabel("No search done yet.", this);
  m_Result->setObjectName("result");

  auto* options = new QGroupBox("Advanced Options:", this);
  auto* grid = new QGridLayout(options);
  AddSliderLine(grid, 0, "Results", "few", "many", options);
  grid->addWidget(m_Similarity, 0, 2, 2, 1);
  AddSliderLine(grid, 1, "Similarity", "high", "low ", options);
  grid->addWidget(m_DefaultCriteria, 2, 0, 1, 4);
  grid->addWidget(m_IdentityCheck, 3, 0, 1, 4);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_Search);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(options);
  layout->addWidget(m_Progress);
  layout->addWidget(m_Result);
  layout->addLayout(buttons);
}

RunOutcome DuplicatesDialog::Search() {
  RunnerHooks runner;
  runner.statusText = [this](const std::string& text) {
    m_Result->setText(QString::fromStdString(text));
  };
  runner.setProgress = [this](int percent) { m_Progress->setValue(percent); };
  runner.setButtonText = [this](const std::string& label) {
    m_Search->setText(QString::fromStdString(label));
  };
  runner.dispatchMessages = hooks.dispatchMessages ? hooks.dispatchMessages : DispatchDialogEvents;
  runner.showDuplicatesView =
      hooks.showDuplicatesView ? hooks.showDuplicatesView : [] { MessageBeep(MB_BEEP_DEFAULT); };
  runner.viewShowsDuplicates = hooks.viewShowsDuplicates;
  runner.repaintView = hooks.repaintView;
  return RunDuplicateSearch(m_Engine, !m_DefaultCriteria->isChecked(), m_IdentityCheck->isChecked(),
                            m_Similarity->value(), runner);
}

}  // namespace gq
