#include "ui/CriteriaDialog.h"

#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QVBoxLayout>

#include "platform/MessageBox.h"
#include "signature/CriteriaFile.h"
#include "ui/DialogIcon.h"

namespace gq {
namespace {

constexpr int kNoPresetRow = -1;

QPushButton* Button(const QString& text, const QString& name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

CriteriaDialog::CriteriaDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("GlimmerQuorum - Criterias");
  setWindowIcon(ProgramIcon());
  auto* columns = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  left->addWidget(
      MakeGroup("Global", {kGlobalColour, kGlobalSaturation, kGlobalBrightness, kTexture}, 2));
  left->addWidget(
      MakeGroup("Coarse", {kCoarseColour, kCoarseSaturation, kCoarseBrightness, kCoarseCentre}, 0));
  left->addWidget(MakeGroup("Other", {kFormat, kSize, kFilePath}, kNoPresetRow));
  columns->addLayout(left);
  columns->addWidget(
      MakeGroup("Local",
                {kPlace, kArea, kIntensity, kRed, kRed + 1, kRed + 2, kRed + 3, kRed + 4, kRed + 5},
                1),
      0, Qt::AlignTop);

  QPushButton* save = Button("Save", "save", this);
  QPushButton* load = Button("Load", "load", this);
  QPushButton* ok = Button("&OK", "ok", this);
  connect(save, &QPushButton::clicked, this, [this] {
    const std::string path = AskFileName(true);
    if (!path.empty()) SaveCriteria(path);
  });
  connect(load, &QPushButton::clicked, this, [this] {
    const std::string path = AskFileName(false);
    if (!path.empty()) LoadCriteria(path);
  });
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(save);
  buttons->addWidget(load);
  buttons->addStretch(1);
  buttons->addWidget(ok);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(columns);
  layout->addLayout(buttons);
  RefreshSliders();
}

QWidget* CriteriaDialog::MakeGroup(const char* title, std::initializer_list<int> criteria,
                                   int presetRow) {
  auto* group = new QGroupBox(title, this);
  auto* grid = new QGridLayout(group);
  int row = 0;
  for (int index : criteria) {
    const CriterionDescriptor& descriptor = kCriteriaDescriptors[index];
    auto* slider = new QSlider(Qt::Horizontal, group);
    slider->setObjectName(QString::number(descriptor.sliderControl));
    slider->setRange(0, 100);
    slider->setMinimumWidth(160);
    connect(slider, &QSlider::valueChanged, this,
            [index](int value) { SetCriterion(index, value); });
    m_Sliders[index] = slider;
    grid->addWidget(new QLabel(descriptor.label, group), row, 0);
    grid->addWidget(slider, row, 1);
    ++row;
  }
  if (presetRow == kNoPresetRow) return group;
  const PresetRow& preset = kPresetRows[presetRow];
  const std::pair<const char*, std::pair<int, PresetLevel>> choices[] = {
      {"ignore", {preset.ignoreControl, PresetLevel::kIgnore}},
      {"normal", {preset.normalControl, PresetLevel::kNormal}},
      {"important", {preset.importantControl, PresetLevel::kImportant}}};
  auto* buttons = new QHBoxLayout;
  for (const auto& [text, control] : choices) {
    QPushButton* button = Button(text, QString::number(control.first), group);
    const PresetGroup presetGroup = preset.group;
    const PresetLevel level = control.second;
    connect(button, &QPushButton::clicked, this, [this, presetGroup, level] {
      ApplyPreset(presetGroup, level);
      RefreshSliders();
    });
    buttons->addWidget(button);
  }
  grid->addLayout(buttons, row, 0, 1, 2);
  return group;
}

void CriteriaDialog::RefreshSliders() {
  const Criteria& current = CurrentCriteria();
  for (int i = 0; i < kCriteriaCount; ++i) {
    const QSignalBlocker quiet(m_Sliders[i]);
    m_Sliders[i]->setValue(current.value[i]);
  }
}

bool CriteriaDialog::SaveCriteria(const std::string& path) {
  return WriteCriteriaFile(path, CurrentCriteria());
}

bool CriteriaDialog::LoadCriteria(const std::string& path) {
  Criteria criteria = CurrentCriteria();
  const bool read = ReadCriteriaFile(path, &criteria);
  SetCurrentCriteria(criteria);
  RefreshSliders();
  if (hooks.criteriaLoaded) hooks.criteriaLoaded();
  if (!read) MessageBox("Can't read criterias file.", kProgramCaption, MB_OK | MB_ICONERROR);
  return read;
}

std::string CriteriaDialog::AskFileName(bool save) {
  if (hooks.askFileName) return hooks.askFileName(save);
  QFileDialog dialog(this, save ? "Save Criterias" : "Load Criterias");
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilters({"Criteria files (*.txt)", "All files (*)"});
  dialog.setDefaultSuffix("txt");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return "";
  return dialog.selectedFiles().front().toStdString();
}

}  // namespace gq
