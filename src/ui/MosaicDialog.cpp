#include "ui/MosaicDialog.h"

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <charconv>
#include <cstring>

#include "db/ImageRecordDB.h"
#include "loading/LoadPicture.h"
#include "loading/OpenCvHighGui/picture_header.h"
#include "platform/Beep.h"
#include "platform/MessageBox.h"
#include "search/SearchEngine.h"
#include "ui/DialogEvents.h"
#include "ui/DialogIcon.h"
#include "ui/ThumbsView.h"

namespace gq {
namespace {

constexpr int32_t kMaxCells = 1000;
constexpr int32_t kMaxPixelsPerCell = 1024;

void ErrorBox(const std::string& text) { MessageBox(text, kProgramCaption, MB_OK | MB_ICONERROR); }

QLineEdit* NumberField(int value, const char* control, QWidget* parent) {
  auto* field = new QLineEdit(QString::number(value), parent);
  field->setObjectName(control);
  field->setMaximumWidth(70);
  return field;
}

QCheckBox* Option(const char* text, const char* control, bool on, QWidget* parent) {
  auto* box = new QCheckBox(text, parent);
  box->setObjectName(control);
  box->setChecked(on);
  return box;
}

QPushButton* Button(const char* text, const char* name, QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(name);
  button->setAutoDefault(false);
  return button;
}

PackedImage PackedOf(const IplImage& image) {
  PackedImage packed;
  packed.Allocate(image.width, image.height);
  for (int y = 0; y < image.height; ++y) {
    std::memcpy(packed.row(y), image.imageData + static_cast<size_t>(y) * image.widthStep,
                static_cast<size_t>(3) * image.width);
  }
  return packed;
}

}  // namespace

FieldRead ReadMosaicField(const std::string& text, int32_t low, int32_t high, int32_t* value) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return FieldRead::kNotANumber;
  const size_t end = text.find_last_not_of(" \t") + 1;
  const char* first = text.data() + begin + (text[begin] == '+' ? 1 : 0);
  const char* last = text.data() + end;
  int64_t number = 0;
  const auto [stop, error] = std::from_chars(first, last, number);
  if (stop != last || (error != std::errc() && error != std::errc::result_out_of_range)) {
    return FieldRead::kNotANumber;
  }
  if (error == std::errc::result_out_of_range) number = *first == '-' ? INT64_MIN : INT64_MAX;
  *value = static_cast<int32_t>(std::clamp<int64_t>(number, low, high));
  return number >= low && number <= high ? FieldRead::kValid : FieldRead::kClamped;
}

std::string MosaicFileProblem(const std::string& path) {
  const QFileInfo file(QString::fromStdString(path));
  if (!file.absoluteDir().exists()) {
    return "The folder of the mosaic file does not exist:\n" + file.absolutePath().toStdString();
  }
  if (FormatByExtension(path.c_str()) == PictureFormat::kNone) {
    return "The mosaic file must end in .bmp, .jpg, .png, .ppm, .ras or .tif.";
  }
  return "";
}

MosaicDialog::MosaicDialog(SearchEngine& engine, ThumbsView& view, QWidget* parent)
    : QDialog(parent), m_Engine(engine), m_View(view) {
  setWindowTitle("GlimmerQuorum - Create Mosaic Picture");
  setWindowIcon(ProgramIcon());
  const MosaicOptions defaults;
  m_Columns = NumberField(defaults.columns, "1027", this);
  m_Rows = NumberField(defaults.rows, "1026", this);
  m_Width = NumberField(defaults.width, "1030", this);
  m_Height = NumberField(defaults.height, "1031", this);
  m_File = new QLineEdit(QDir::current().absoluteFilePath(kDefaultMosaicFile), this);
  m_File->setObjectName("1028");
  m_DefaultCriteria = Option("use default similarity criterias", "1024", true, this);
  m_SimilarityCheck = Option("use additional similarity check", "1036", true, this);
  m_CorrectColours = Option("correct colors of tile-pictures", "1037", true, this);
  m_ExcludeSource = Option("don't use original picture", "1038", false, this);
  m_AvoidReuse = Option("avoid reuse of tiles", "1039", false, this);
  m_Masked = Option("masked blending", "1040", true, this);
  m_Blending = new QSlider(Qt::Horizontal, this);
  m_Blending->setObjectName("1041");
  m_Blending->setRange(0, 100);
  m_Blending->setValue(defaults.blending);

  auto* size = new QGroupBox("Size", this);
  auto* grid = new QGridLayout(size);
  const std::pair<const char*, Arrow> arrows[] = {{"columnsToRows", Arrow::kRowsFromColumns},
                                                  {"rowsToColumns", Arrow::kColumnsFromRows},
                                                  {"widthToHeight", Arrow::kHeightFromWidth},
                                                  {"heightToWidth", Arrow::kWidthFromHeight}};
  QPushButton* arrowButtons[4];
  for (int i = 0; i < 4; ++i) {
    arrowButtons[i] = Button(i % 2 == 0 ? "---->" : "<----", arrows[i].first, size);
    arrowButtons[i]->setMaximumWidth(64);
    const Arrow arrow = arrows[i].second;
    connect(arrowButtons[i], &QPushButton::clicked, this, [this, arrow] { DeriveField(arrow); });
  }
  grid->addWidget(new QLabel("columns", size), 0, 0);
  grid->addWidget(new QLabel("rows", size), 0, 3);
  grid->addWidget(m_Columns, 1, 0);
  grid->addWidget(arrowButtons[0], 1, 1);
  grid->addWidget(arrowButtons[1], 1, 2);
  grid->addWidget(m_Rows, 1, 3);
  grid->addWidget(new QLabel("width", size), 2, 0);
  grid->addWidget(new QLabel("height", size), 2, 3);
  grid->addWidget(m_Width, 3, 0);
  grid->addWidget(arrowButtons[2], 3, 1);
  grid->addWidget(arrowButtons[3], 3, 2);
  grid->addWidget(m_Height, 3, 3);
  grid->setColumnStretch(4, 1);

  QPushButton* browse = Button("...", "browse", this);
  browse->setMaximumWidth(40);
  connect(browse, &QPushButton::clicked, this, &MosaicDialog::Browse);
  auto* fileLine = new QHBoxLayout;
  fileLine->addWidget(m_File, 1);
  fileLine->addWidget(browse);

  auto* options = new QGroupBox("Options", this);
  auto* optionList = new QVBoxLayout(options);
  for (QCheckBox* box : {m_DefaultCriteria, m_SimilarityCheck, m_CorrectColours, m_ExcludeSource,
                         m_AvoidReuse, m_Masked}) {
    optionList->addWidget(box);
  }
  auto* blendLine = new QHBoxLayout;
  blendLine->addWidget(new QLabel("blending:  mosaic", options));
  blendLine->addWidget(m_Blending, 1);
  blendLine->addWidget(new QLabel("original", options));
  optionList->addLayout(blendLine);

  m_Create = Button("&Create", "create", this);
  m_Create->setDefault(true);
  connect(m_Create, &QPushButton::clicked, this, [this] { Create(); });
  QPushButton* viewButton = Button("&View", "view", this);
  connect(viewButton, &QPushButton::clicked, this, &MosaicDialog::View);
  QPushButton* ok = Button("&OK", "ok", this);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  m_Progress = new QProgressBar(this);
  m_Progress->setObjectName("progress");
  m_Progress->setRange(0, 100);
  m_Progress->setValue(0);
  m_Progress->setTextVisible(false);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_Create);
  buttons->addWidget(viewButton);
  buttons->addStretch(1);
  buttons->addWidget(ok);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(size);
  layout->addWidget(new QLabel("file name:", this));
  layout->addLayout(fileLine);
  layout->addWidget(options);
  layout->addWidget(m_Progress);
  layout->addLayout(buttons);
  setMinimumWidth(460);
}

bool MosaicDialog::ReadParameters(MosaicOptions* options) {
  bool good = true;
  auto read = [&good](QLineEdit* field, int32_t low, int32_t high, int32_t* value) {
    const FieldRead result = ReadMosaicField(field->text().toStdString(), low, high, value);
    if (result == FieldRead::kClamped) field->setText(QString::number(*value));
    good = good && result == FieldRead::kValid;
  };
  read(m_Columns, 1, kMaxCells, &options->columns);
  read(m_Rows, 1, kMaxCells, &options->rows);
  read(m_Width, options->columns, options->columns * kMaxPixelsPerCell, &options->width);
  read(m_Height, options->rows, options->rows * kMaxPixelsPerCell, &options->height);
  if (!good) {
    ErrorBox("Error reading parameters.");
    return false;
  }
  options->useCurrentCriteria = !m_DefaultCriteria->isChecked();
  options->similarityCheck = m_SimilarityCheck->isChecked();
  options->correctColours = m_CorrectColours->isChecked();
  options->excludeSource = m_ExcludeSource->isChecked();
  options->avoidReuse = m_AvoidReuse->isChecked();
  options->masked = m_Masked->isChecked();
  options->blending = m_Blending->value();
  options->file = AbsoluteFileName();
  return true;
}

bool MosaicDialog::ReadSource(MosaicOptions* options, PackedImage* source) {
  const ImageRecord* record = m_Engine.Db().FindByLfdNr(m_View.CurrentPicture());
  if (record == nullptr) {
    ErrorBox("No picture selected.");
    return false;
  }
  IplImage* image = LoadPicture(record->m_Path.c_str(), 1);
  if (image == nullptr) {
    ErrorBox("Can't read selected picture.");
    return false;
  }
  *source = PackedOf(*image);
  cvReleaseImage(&image);
  options->sourceLfdNr = record->m_LfdNr;
  return true;
}

void MosaicDialog::DeriveField(Arrow arrow) {
  MosaicOptions options;
  PackedImage source;
  if (!ReadParameters(&options) || !ReadSource(&options, &source)) return;
  const int32_t w = source.width, h = source.height;
  switch (arrow) {
    case Arrow::kRowsFromColumns:
      m_Rows->setText(
          QString::number(MosaicRowsFor(options.columns, w, h, TypicalAspect(m_Engine.Db()))));
      break;
    case Arrow::kColumnsFromRows:
      m_Columns->setText(
          QString::number(MosaicColumnsFor(options.rows, w, h, TypicalAspect(m_Engine.Db()))));
      break;
    case Arrow::kHeightFromWidth:
      m_Height->setText(QString::number(MosaicHeightFor(options.width, w, h)));
      break;
    case Arrow::kWidthFromHeight:
      m_Width->setText(QString::number(MosaicWidthFor(options.height, w, h)));
      break;
  }
}

RunOutcome MosaicDialog::Create() {
  RunnerHooks runner;
  runner.setProgress = [this](int percent) { m_Progress->setValue(percent); };
  runner.setButtonText = [this](const std::string& label) {
    m_Create->setText(QString::fromStdString(label));
  };
  runner.dispatchMessages = hooks.dispatchMessages ? hooks.dispatchMessages : DispatchDialogEvents;
  MosaicOptions options;
  PackedImage source;
  if (MosaicBusy()) return RunMosaic(m_Engine, options, std::move(source), runner);
  if (!ReadParameters(&options) || !ReadSource(&options, &source)) {
    return RunOutcome::kSetupFailed;
  }
  const std::string problem = MosaicFileProblem(options.file);
  if (!problem.empty()) {
    ErrorBox(problem);
    return RunOutcome::kSetupFailed;
  }
  const RunOutcome outcome = RunMosaic(m_Engine, options, std::move(source), runner);
  if (outcome == RunOutcome::kFinished || outcome == RunOutcome::kCancelled) View();
  return outcome;
}

void MosaicDialog::View() {
  MosaicRun& mosaic = m_Engine.Mosaic();
  if (mosaic.Active() && !mosaic.WriteCanvas()) ErrorBox(kMosaicWriteFailed);
  if (hooks.viewFile) {
    hooks.viewFile(AbsoluteFileName());
  } else {
    MessageBeep(MB_BEEP_DEFAULT);
  }
}

std::string MosaicDialog::AbsoluteFileName() const {
  return QDir::current().absoluteFilePath(m_File->text()).toStdString();
}

void MosaicDialog::Browse() {
  const std::string current = AbsoluteFileName();
  m_File->setText(QString::fromStdString(current));
  std::string chosen;
  if (hooks.askFileName) {
    chosen = hooks.askFileName(current);
  } else {
    QFileDialog dialog(this, "Mosaic Picture File", QString::fromStdString(current));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix("bmp");
    dialog.selectFile(QString::fromStdString(current));
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      chosen = dialog.selectedFiles().front().toStdString();
    }
  }
  if (!chosen.empty()) m_File->setText(QString::fromStdString(chosen));
}

}  // namespace gq
