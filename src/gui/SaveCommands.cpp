#include "gui/SaveCommands.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "platform/UserMessages.h"

namespace vivurozed {

namespace {

namespace fs = std::filesystem;

std::string Extension(const std::string& name, int (*change)(int)) {
  std::string ext = fs::path(name).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [change](unsigned char c) { return static_cast<char>(change(c)); });
  return ext;
}

// A save dialog with the filters, the one of the index chosen, and its
// extension added to a name typed without one.
QString AskName(QWidget* parent, const QString& title, const QString& folder, const QString& name,
                const QStringList& filters, const QStringList& suffixes, int chosen) {
  QFileDialog dialog(parent, title, folder, filters.join(";;"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.selectNameFilter(filters[chosen]);
  dialog.setDefaultSuffix(suffixes[chosen]);
  dialog.selectFile(name);
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, filters, suffixes](const QString& f) {
                     dialog.setDefaultSuffix(suffixes[std::max<qsizetype>(0, filters.indexOf(f))]);
                   });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().front();
}

}  // namespace

void TSaveCommands::TakeFormatSettings() {
  const TRunOptions fresh = OptionsFromSettings(run_.Settings(), run_.Options());
  TRunOptions& o = run_.Options();
  o.outputFormat = fresh.outputFormat;
  o.noaaOutput = fresh.noaaOutput;
  o.cropBorders = fresh.cropBorders;
}

QString TSaveCommands::StartFolder() const {
  const std::string& folder = run_.Settings().ImageFolder.Value();
  if (!folder.empty()) return QString::fromStdString(folder);
  return QFileInfo(QString::fromStdString(run_.OutputName())).absolutePath();
}

bool TSaveCommands::SaveAll(const std::string& name, bool saveMain, bool announce) {
  ++saveCount_;
  return run_.SaveAll(name, saveMain, announce);
}

bool TSaveCommands::Save() {
  if (IsEmpty(run_.Pictures().main)) return false;
  TakeFormatSettings();
  return SaveAll(run_.OutputName(), true, false);
}

bool TSaveCommands::SaveAs() {
  if (IsEmpty(run_.Pictures().main)) return false;
  const int format = std::clamp(run_.Settings().OutputFormat.Value(), 0, 2);
  const QString chosen =
      AskName(parent_, "Save image(s) as...", StartFolder(),
              QString::fromStdString(fs::path(run_.OutputName()).stem().string()),
              {"Bitmap (*.bmp)", "JPEG (*.jpg)", "PNG (*.png)"}, {"bmp", "jpg", "png"}, format);
  if (chosen.isEmpty()) return false;
  const std::string name = chosen.toStdString();
  const std::string ext = Extension(name, ::tolower);
  if (ext != ".bmp" && ext != ".jpg" && ext != ".png") {
    UserMessages().Show("Unfortunately, Vivurozed does not know how to save a file with the " +
                            Extension(name, ::toupper) + " extension.",
                        "");
    return false;
  }
  run_.Settings().ImageFolder.SetValue(fs::path(name).parent_path().string());
  TakeFormatSettings();
  return SaveAll(name, true, false);
}

bool TSaveCommands::SaveColourAs() {
  if (IsEmpty(run_.Pictures().falseColour)) return false;
  const int noaaOutput = run_.Settings().NoaaJpegOutput.Value();
  const QString chosen =
      AskName(parent_, "Save false colour image as ... -C suffix will be appended!", StartFolder(),
              QString::fromStdString(fs::path(run_.OutputName()).stem().string()),
              {"JPEG (*.jpg)", "Bitmap (*.bmp)"}, {"jpg", "bmp"}, noaaOutput >= 1 ? 0 : 1);
  if (chosen.isEmpty()) return false;
  const std::string name = chosen.toStdString();
  const std::string ext = Extension(name, ::tolower);
  if (ext != ".bmp" && ext != ".jpg") {
    UserMessages().Show(
        "Unfortunately, Vivurozed does not know how to save a false colour file with the " +
            Extension(name, ::toupper) + " extension.",
        "");
    return false;
  }
  run_.Settings().ImageFolder.SetValue(fs::path(name).parent_path().string());
  TakeFormatSettings();
  // The extension chosen decides the format, also when the NOAA pictures
  // are otherwise not written at all.
  TRunOptions& o = run_.Options();
  const int kept = o.noaaOutput;
  o.noaaOutput = ext == ".bmp" ? 0 : (noaaOutput == 2 ? 2 : 1);
  const bool ok = SaveAll(name, false, true);
  o.noaaOutput = kept;
  return ok;
}

bool TSaveCommands::ChooseImageFolder() {
  const QString folder = QFileDialog::getExistingDirectory(
      parent_, "Folder for the saved pictures",
      QString::fromStdString(run_.Settings().ImageFolder.Value()));
  if (folder.isEmpty()) return false;
  run_.Settings().ImageFolder.SetValue(folder.toStdString());
  return true;
}

void TSaveCommands::OfferSave() {
  if (!run_.PicturesChanged()) return;
  if (UserMessages().AskYesNo("The image data has changed.  Do you want to save it?",
                              "Unsaved image?", maYes) == maYes) {
    Save();
  }
  run_.ClearPicturesChanged();
}

}  // namespace vivurozed
