// Menu entries bound to settings: a check mark per Boolean setting, a radio
// group per choice, each showing the stored value and storing a change at
// once. What a change means for the pictures (post-process them again, or
// read the recording again) goes to the window.
#pragma once

#include <QAction>
#include <QActionGroup>
#include <QMenu>
#include <QString>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/RegistryVariables.h"

namespace vivurozed {

class TSettingsMenus {
 public:
  enum TEffect {
    efNone,                // stored only
    efDisplay,             // the pictures are post-processed again
    efDisplayWhenChanged,  // the same, only when the value changed
    efReload,              // the recording must be read again (when the value changed)
  };
  // Called after a change was stored, unless efNone or (for the "when
  // changed" kinds) the value stayed; reloadName names the option in the
  // reload question.
  using TChanged = std::function<void(TEffect effect, const std::string& reloadName)>;
  using TChoices = std::vector<std::pair<QString, int>>;

  explicit TSettingsMenus(TChanged changed) : changed_(std::move(changed)) {}

  // The action is named after the setting; after runs on every change.
  QAction* Check(QMenu* menu, const QString& text, TRegistryBoolean& setting, TEffect effect,
                 const std::string& reloadName = {}, std::function<void()> after = {});
  // One entry per choice, named setting=value. A stored value that is none
  // of the choices leaves every entry unchecked.
  QActionGroup* Radio(QMenu* menu, TRegistryInteger& setting, const TChoices& choices,
                      TEffect effect, const std::string& reloadName = {},
                      std::function<void()> after = {});

  // Every check mark from its setting again.
  void Refresh();
  // Options that need the recording read again wait while a run goes on.
  void SetRunning(bool running);

 private:
  void Changed(TEffect effect, bool changed, const std::string& reloadName);
  TChanged changed_;
  std::vector<std::function<void()>> refreshers_;
  std::vector<QAction*> reloadActions_;
};

}  // namespace vivurozed
