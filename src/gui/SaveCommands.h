// The window's save commands: save, save as, save the false colour as, the
// folder for pictures, and the offer to save pictures about to be replaced.
// Each works on the run between jobs, on the window's thread.
#pragma once

#include <QWidget>

#include "app/MainForm.h"

namespace vivurozed {

class TSaveCommands {
 public:
  TSaveCommands(QWidget* parent, TProcessingRun& run) : parent_(parent), run_(run) {}

  // Every picture under the run's output name. False when there was nothing
  // to save or something could not be written.
  bool Save();
  // Asks for a name; the main picture's format follows its extension.
  bool SaveAs();
  // Only the false colour, with "-c" after the name; its format follows the
  // extension chosen.
  bool SaveColourAs();
  bool ChooseImageFolder();
  // The unsaved-picture question before another file replaces the pictures.
  void OfferSave();
  // How many times pictures were written (or tried to be).
  int SaveCount() const { return saveCount_; }

 private:
  bool SaveAll(const std::string& name, bool saveMain, bool announce);
  // The format choices made since the run.
  void TakeFormatSettings();
  QString StartFolder() const;
  QWidget* parent_;
  TProcessingRun& run_;
  int saveCount_ = 0;
};

}  // namespace vivurozed
