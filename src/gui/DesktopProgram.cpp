#include "gui/DesktopProgram.h"

#include <QApplication>
#include <QIcon>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/RegistryVariables.h"
#include "gui/MainWindow.h"

namespace vivurozed {

bool DisplayAvailable() {
  for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}

int RunDesktopProgram(int& argc, char** argv, const TBatchOptions* batch, const std::string& open) {
  const std::vector<std::string> commandLine(argv, argv + argc);
  QApplication app(argc, argv);
  QApplication::setApplicationName(kProgramName);
  QApplication::setOrganizationName(kCompanyName);
  // Ties the window to the desktop entry (its icon, on Wayland its name).
  QGuiApplication::setDesktopFileName("vivurozed");

  auto store = std::make_shared<TSettingsStore>(SoftwareKeyPath(kProgramName));
  TMainWindow window(store);
  QApplication::setWindowIcon(window.windowIcon());
  window.show();
  if (batch) {
    QTimer::singleShot(0, &window,
                       [&window, batch, &commandLine] { window.StartBatch(*batch, commandLine); });
  } else if (!open.empty()) {
    QTimer::singleShot(0, &window,
                       [&window, &open] { window.OpenFile(QString::fromStdString(open)); });
  }
  const int code = QApplication::exec();
  return batch ? window.ExitCode() : code;
}

}  // namespace vivurozed
