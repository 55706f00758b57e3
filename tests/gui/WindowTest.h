// What the window's tests share: a shown window on fresh settings, scripted
// answers to its questions, and waits that let it work meanwhile.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "RecordingMessages.h"
#include "WavWriter.h"
#include "gui/MainWindow.h"
#include "gui/PictureView.h"
#include "platform/Folders.h"

namespace vivurozed::testing {

// Lets the window work until `done`, at most a minute.
inline bool WaitFor(const std::function<bool()>& done) {
  return QTest::qWaitFor(done, 60000);
}

// Acts on the modal dialog of type T once it is up.
template <typename T>
void WhenShown(std::function<void(T*)> act, int tries = 3000) {
  QTimer::singleShot(20, [act, tries] {
    if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
      act(dialog);
    } else if (tries > 0) {
      WhenShown(act, tries - 1);
    }
  });
}

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // metric
    TSettingsStore::SetFolder(dir.Path() / "settings");
    SetUserDataFolder(dir.Path() / "data");
    Show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  void TearDown() override {
    messages.reset();
    window.reset();
    SetUserDataFolder({});
  }
  // A new window on the settings as stored, after `change`.
  void Show(const std::function<void(TSettingsStore&)>& change = {}) {
    messages.reset();
    window.reset();  // writes every setting back
    if (change) {
      TSettingsStore store(SoftwareKeyPath(kProgramName));
      change(store);
    }
    window = std::make_unique<TMainWindow>(
        std::make_shared<TSettingsStore>(SoftwareKeyPath(kProgramName)));
    messages = std::make_unique<RecordingMessages>();
    window->show();
  }
  // Waits until every job the window started has finished.
  bool WaitIdle() {
    QSignalSpy idle(window.get(), &TMainWindow::Idle);
    return idle.wait(60000);
  }
  TPictureView* View(const char* tab) { return window->findChild<TPictureView*>(tab); }
  QImage Picture(const char* tab) { return View(tab)->Picture(); }
  QAction* Action(const char* name) { return window->findChild<QAction*>(name); }
  QString Label(const char* name) { return window->findChild<QLabel*>(name)->text(); }
  QString OpenCaption() { return window->findChild<QPushButton*>("openButton")->text(); }

  TempDir dir;
  std::unique_ptr<TMainWindow> window;
  std::unique_ptr<RecordingMessages> messages;
};

}  // namespace vivurozed::testing
