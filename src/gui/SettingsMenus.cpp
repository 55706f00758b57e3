#include "gui/SettingsMenus.h"

namespace vivurozed {

QAction* TSettingsMenus::Check(QMenu* menu, const QString& text, TRegistryBoolean& setting,
                               TEffect effect, const std::string& reloadName,
                               std::function<void()> after) {
  QAction* action = menu->addAction(text);
  action->setObjectName(QString::fromStdString(setting.ValueName()));
  action->setCheckable(true);
  action->setChecked(setting.Value());
  QObject::connect(action, &QAction::toggled, action,
                   [this, &setting, effect, reloadName, after](bool on) {
                     const bool changed = on != setting.Value();
                     setting.SetValue(on);
                     if (after) after();
                     Changed(effect, changed, reloadName);
                   });
  refreshers_.push_back([action, &setting] {
    const QSignalBlocker block(action);
    action->setChecked(setting.Value());
  });
  if (effect == efReload) reloadActions_.push_back(action);
  return action;
}

QActionGroup* TSettingsMenus::Radio(QMenu* menu, TRegistryInteger& setting, const TChoices& choices,
                                    TEffect effect, const std::string& reloadName,
                                    std::function<void()> after) {
  auto* group = new QActionGroup(menu);
  group->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
  for (const auto& [text, value] : choices) {
    QAction* action = menu->addAction(text);
    action->setObjectName(QString::fromStdString(setting.ValueName()) + "=" +
                          QString::number(value));
    action->setCheckable(true);
    action->setData(value);
    group->addAction(action);
    if (effect == efReload) reloadActions_.push_back(action);
  }
  QObject::connect(group, &QActionGroup::triggered, menu,
                   [this, &setting, effect, reloadName, after](QAction* action) {
                     const int value = action->data().toInt();
                     // A radio entry stays checked when chosen again.
                     action->setChecked(true);
                     const bool changed = value != setting.Value();
                     setting.SetValue(value);
                     if (after) after();
                     Changed(effect, changed, reloadName);
                   });
  auto refresh = [group, &setting] {
    for (QAction* a : group->actions()) {
      const QSignalBlocker block(a);
      a->setChecked(a->data().toInt() == setting.Value());
    }
  };
  refresh();
  refreshers_.push_back(refresh);
  return group;
}

void TSettingsMenus::Changed(TEffect effect, bool changed, const std::string& reloadName) {
  if (!changed_ || effect == efNone) return;
  if (effect == efDisplay || changed) changed_(effect, reloadName);
}

void TSettingsMenus::Refresh() {
  for (const auto& r : refreshers_) r();
}

void TSettingsMenus::SetRunning(bool running) {
  for (QAction* a : reloadActions_) a->setEnabled(!running);
}

}  // namespace vivurozed
