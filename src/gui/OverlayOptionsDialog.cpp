#include "gui/OverlayOptionsDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <cmath>

#include "gui/WindowRunHost.h"
#include "map/Overlay.h"

namespace vivurozed {

namespace {

constexpr int kSampleWidth = 620;
const char* const kLocations[] = {"Hide",        "Top left",      "Top centre",  "Top right",
                                  "Bottom left", "Bottom centre", "Bottom right"};

QColor ToQColor(std::int32_t stored) {
  const TColour c = ColourFromStored(stored);
  return QColor(c.red, c.green, c.blue);
}

std::vector<std::string> Lines(const QString& text) {
  std::vector<std::string> lines;
  for (const QString& line : text.split('\n')) lines.push_back(line.toStdString());
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  return lines;
}

QString Joined(const std::vector<std::string>& lines) {
  QStringList out;
  for (const auto& l : lines) out << QString::fromStdString(l);
  return out.join('\n');
}

}  // namespace

TOverlaySample MadeUpOverlaySample() {
  constexpr int w = 1040, h = 400;
  TOverlaySample s;
  s.picture = TExtBitmap(w, h, pf24bit);
  s.overlay = TExtBitmap(w, h + 1, pf8bit);  // the last overlay row is never drawn
  s.overlay.SetPalette(OverlayPalette());
  for (int y = 0; y < h + 1; ++y) {
    std::uint8_t* codes = s.overlay.ScanLine(y);
    // A coast curving across the picture: land to its left.
    const double coast = 420 + 120 * std::sin(y / 70.0);
    for (int x = 0; x < w; ++x) {
      std::uint8_t code = x < coast ? ocLand : ocSea;
      if (std::abs(x - coast) < 1.5) code = ocBoundary;
      if (x % 150 == 40 || y % 150 == 60) code = ocGrid;
      if ((std::abs(x - 700) < 7 && std::abs(y - 200) < 2) ||
          (std::abs(y - 200) < 7 && std::abs(x - 700) < 2))
        code = ocGraphic;
      codes[x] = code;
      if (y < h) {
        // Grey cloud over a darker ground.
        std::uint8_t* p = s.picture.ScanLine(y) + 3 * x;
        const double cloud = 0.5 + 0.5 * std::sin(x / 37.0) * std::cos(y / 23.0);
        p[0] = p[1] = p[2] = static_cast<std::uint8_t>(60 + 150 * cloud);
      }
    }
  }
  return s;
}

TOverlayOptionsDialog::TOverlayOptionsDialog(const TOverlayAppearance& appearance,
                                             const std::vector<std::string>& userCaption,
                                             const std::vector<std::string>& automaticCaption,
                                             TDateTime pictureTime,
                                             std::optional<TOverlaySample> sample, QWidget* parent)
    : QDialog(parent),
      appearance_(appearance),
      automaticCaption_(automaticCaption),
      sample_(sample ? std::move(*sample) : MadeUpOverlaySample()) {
  setObjectName("overlayOptions");
  setWindowTitle("Vivurozed - Caption and  Overlay appearance");
  demoText_ = userCaption.empty();
  initialText_ = demoText_
                     ? QString("Vivurozed image\n%1")
                           .arg(QString::fromStdString(FormatDateTime(
                               "yyyy mmm dd  hh:nn", pictureTime != 0 ? pictureTime : UtcNow())))
                     : Joined(userCaption);

  auto* tabs = new QTabWidget(this);
  tabs->setUsesScrollButtons(false);
  tabs->addTab(TextPage(), "Text");
  tabs->addTab(TextAttributesPage(), "Text Attributes");
  tabs->addTab(LinePage(), "Line Attributes");
  tabs->addTab(CloudTopPage(), "Cloud Top");
  picture_ = new QLabel(this);
  picture_->setObjectName("sample");
  picture_->setMinimumWidth(kSampleWidth);
  picture_->setAlignment(Qt::AlignCenter);
  auto* below = new QHBoxLayout;
  below->addWidget(Check("Show temperature calibration strip", &appearance_.tempCal, "tempCal"));
  below->addWidget(Check("Show distance scale", &appearance_.scale, "scale"));
  below->addWidget(Check("Add overlay to IR image", &appearance_.onIr, "onIr"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* top = new QHBoxLayout;
  top->addWidget(tabs, 1);
  top->addWidget(picture_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(below);
  layout->addWidget(buttons);
  Redraw();
}

QWidget* TOverlayOptionsDialog::TextPage() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  caption_ = new QPlainTextEdit(initialText_, page);
  caption_->setObjectName("caption");
  connect(caption_, &QPlainTextEdit::textChanged, this, &TOverlayOptionsDialog::Redraw);
  layout->addWidget(caption_);
  if (demoText_) {
    auto* note = new QLabel(
        "This is demonstration text: the caption of the pass is drawn unless you edit it.", page);
    note->setWordWrap(true);
    layout->addWidget(note);
  }
  return page;
}

QWidget* TOverlayOptionsDialog::TextAttributesPage() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  font_ = new QPushButton(page);
  font_->setObjectName("font");
  connect(font_, &QPushButton::clicked, this, [this] {
    const TOverlayFont& f = appearance_.font;
    QFont current(QString::fromStdString(f.name), f.size);
    const TFontStyles styles = IntegerToFontStyles(f.style);
    current.setBold(styles.bold);
    current.setItalic(styles.italic);
    current.setUnderline(styles.underline);
    current.setStrikeOut(styles.strikeOut);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, current, this, "Caption font");
    if (!ok) return;
    appearance_.font.name = chosen.family().toStdString();
    appearance_.font.size = std::max(1, chosen.pointSize());
    appearance_.font.style = FontStylesToInteger(
        {chosen.bold(), chosen.italic(), chosen.underline(), chosen.strikeOut()});
    ShowFont();
    Redraw();
  });
  auto* fontRow = new QHBoxLayout;
  fontRow->addWidget(font_, 1);
  fontRow->addWidget(ColourButton(&appearance_.fontColour, "fontColour"));
  layout->addLayout(fontRow);
  ShowFont();

  auto* places = new QButtonGroup(page);
  auto* grid = new QGridLayout;
  for (int i = 0; i < 7; ++i) {
    auto* radio = new QRadioButton(kLocations[i], page);
    radio->setObjectName(QString("location%1").arg(i));
    radio->setChecked(appearance_.textLocation == i);
    places->addButton(radio, i);
    // Hide alone on the first row, then the top and bottom rows.
    grid->addWidget(radio, i == 0 ? 0 : 1 + (i - 1) / 3, i == 0 ? 0 : (i - 1) % 3);
  }
  connect(places, &QButtonGroup::idClicked, this, [this](int id) {
    appearance_.textLocation = id;
    Redraw();
  });
  layout->addLayout(grid);
  layout->addWidget(Check("Separate border", &appearance_.separateBand, "separateBand",
                          ColourButton(&appearance_.bandColour, "bandColour")));
  layout->addStretch();
  return page;
}

QWidget* TOverlayOptionsDialog::LinePage() {
  auto* page = new QWidget(this);
  auto* layout = new QVBoxLayout(page);
  TOverlayAppearance& a = appearance_;
  layout->addWidget(
      Check("Show grid lines", &a.grid, "grid", ColourButton(&a.gridColour, "gridColour")));
  layout->addWidget(Check("Show boundaries", &a.boundary, "boundary",
                          ColourButton(&a.boundaryColour, "boundaryColour")));
  layout->addWidget(Check("Show graphics", &a.graphic, "graphic",
                          ColourButton(&a.graphicColour, "graphicColour")));
  layout->addWidget(Check("Soft overlay lines", &a.soft, "soft"));
  layout->addStretch();
  return page;
}

QWidget* TOverlayOptionsDialog::CloudTopPage() {
  auto* page = new QWidget(this);
  auto* grid = new QGridLayout(page);
  TOverlayAppearance& a = appearance_;
  grid->addWidget(new QLabel("Land", page), 0, 1);
  grid->addWidget(new QLabel("Sea", page), 0, 2);
  grid->addWidget(new QLabel("Normal", page), 1, 0);
  grid->addWidget(ColourButton(&a.land, "land"), 1, 1);
  grid->addWidget(ColourButton(&a.sea, "sea"), 1, 2);
  grid->addWidget(new QLabel("When rebased", page), 2, 0);
  grid->addWidget(ColourButton(&a.rebasedLand, "rebasedLand"), 2, 1);
  grid->addWidget(ColourButton(&a.rebasedSea, "rebasedSea"), 2, 2);
  auto* reset = new QPushButton("Reset colours", page);
  reset->setObjectName("resetColours");
  connect(reset, &QPushButton::clicked, this, [this] {
    appearance_ = FactoryCloudTopColours(appearance_);
    for (const auto& paint : repaint_) paint();
    Redraw();
  });
  grid->addWidget(reset, 3, 0, 1, 3);
  grid->setRowStretch(4, 1);
  return page;
}

QPushButton* TOverlayOptionsDialog::ColourButton(std::int32_t* stored, const QString& name) {
  auto* button = new QPushButton(this);
  button->setObjectName(name);
  button->setToolTip("Choose the colour");
  auto paint = [button, stored] {
    QPixmap patch(36, 16);
    patch.fill(ToQColor(*stored));
    button->setIcon(patch);
    button->setIconSize(patch.size());
  };
  paint();
  repaint_.push_back(paint);
  connect(button, &QPushButton::clicked, this, [this, stored, paint] {
    const QColor c = QColorDialog::getColor(ToQColor(*stored), this);
    if (!c.isValid()) return;
    *stored = StoredColour(c.red(), c.green(), c.blue());
    paint();
    Redraw();
  });
  return button;
}

QWidget* TOverlayOptionsDialog::Check(const QString& text, bool* value, const QString& name,
                                      QPushButton* colour) {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* box = new QCheckBox(text, row);
  box->setObjectName(name);
  box->setChecked(*value);
  connect(box, &QCheckBox::toggled, this, [this, value](bool on) {
    *value = on;
    Redraw();
  });
  layout->addWidget(box, 1);
  if (colour) layout->addWidget(colour);
  return row;
}

void TOverlayOptionsDialog::ShowFont() {
  const TOverlayFont& f = appearance_.font;
  const TFontStyles styles = IntegerToFontStyles(f.style);
  QString text = QString("Font: %1 %2").arg(QString::fromStdString(f.name)).arg(f.size);
  if (styles.bold) text += " bold";
  if (styles.italic) text += " italic";
  font_->setText(text + "...");
}

std::optional<std::vector<std::string>> TOverlayOptionsDialog::Caption() const {
  const QString text = caption_->toPlainText();
  if (text == initialText_) return std::nullopt;
  return Lines(text);
}

std::vector<std::string> TOverlayOptionsDialog::SampleCaption() const {
  if (const auto edited = Caption()) return edited->empty() ? automaticCaption_ : *edited;
  if (!demoText_) return Lines(initialText_);
  return automaticCaption_.empty() ? Lines(initialText_) : automaticCaption_;
}

void TOverlayOptionsDialog::Redraw() {
  if (!picture_) return;  // still being built
  TOverlayOptions o = OverlayOptionsOf(appearance_);
  const TOverlayOptions& at = sample_.options;
  o.caption = SampleCaption();
  o.lineOffset = at.lineOffset;
  o.pixelOffset = at.pixelOffset;
  o.rotate180 = at.rotate180;
  o.largeImage = at.largeImage;
  o.cropBorders = at.cropBorders;
  o.cloudTop = at.cloudTop;
  o.lookup = appearance_.tempCal ? at.lookup : nullptr;
  TExtBitmap overlay = sample_.overlay, out;
  RenderOverlay(sample_.picture, overlay, out, o);
  drawn_ = ToQImage(out);
  picture_->setPixmap(
      QPixmap::fromImage(drawn_.scaledToWidth(kSampleWidth, Qt::SmoothTransformation)));
}

}  // namespace vivurozed
