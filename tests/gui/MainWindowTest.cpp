// The main window driven as a user would: open, options, stop, close, drop.
#include "gui/MainWindow.h"

#include <QComboBox>
#include <QContextMenuEvent>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QDropEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimeEdit>
#include <QUrl>

#include <cstring>
#include <filesystem>

#include "WindowTest.h"
#include "gui/ConfirmPassDialog.h"
#include "gui/DiagnosticsPlots.h"
#include "gui/DiagnosticsView.h"
#include "orbit/SGP_Time.h"
#include "platform/FileTimes.h"

namespace vivurozed {
namespace {

namespace fs = std::filesystem;
using testing::WaitFor;
using testing::WhenShown;

constexpr int kSampleLines = 236;  // what the whole excerpt decodes to

class MainWindowTest : public testing::WindowTest {
 protected:
  // Lines of the run's log that start with the text.
  int LogCount(const QString& start) {
    Action("viewDiagnostics")->trigger();
    const QStringList lines = window->findChild<TDiagnosticsView*>()->Text().split('\n');
    return static_cast<int>(std::count_if(lines.begin(), lines.end(),
                                          [&](const QString& l) { return l.startsWith(start); }));
  }
  void Drop(const QStringList& files) {
    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& f : files) urls << QUrl::fromLocalFile(f);
    mime.setUrls(urls);
    QDropEvent drop(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    // Straight to the window: the application passes a drop on only to
    // where a real drag entered.
    static_cast<QObject*>(window.get())->event(&drop);
  }
  // Shows a tab at actual size; where its picture point lies in the view.
  QPoint ShowAt(const char* tab, QPoint pixel) {
    window->findChild<QTabWidget*>("tabs")->setCurrentWidget(View(tab));
    View(tab)->ZoomActual();
    return View(tab)->ViewportPoint(pixel);
  }
  // Moves the cursor onto a picture point, from elsewhere first: a move to
  // where the cursor already is is dropped.
  void Hover(const char* tab, QPoint pixel) {
    const QPoint at = ShowAt(tab, pixel);
    QTest::mouseMove(View(tab)->viewport(), at + QPoint(5, 5));
    QTest::mouseMove(View(tab)->viewport(), at);
  }
  // Right-clicks a picture point and chooses the entry named `entry`; false
  // when the menu had no such entry.
  bool RightClick(const char* tab, QPoint pixel, const QString& entry) {
    const QPoint at = ShowAt(tab, pixel);
    bool found = false;
    // The menu runs its own loop; the timer goes with this call.
    QObject call;
    QTimer::singleShot(50, &call, [&] {
      QMenu* menu = nullptr;
      for (QMenu* m : window->findChildren<QMenu*>())
        if (m->isVisible()) menu = m;
      if (!menu) return;
      QAction* action = menu->findChild<QAction*>(entry);
      menu->close();
      if ((found = action != nullptr)) action->trigger();
    });
    QWidget* viewport = View(tab)->viewport();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, viewport->mapToGlobal(at));
    QApplication::sendEvent(viewport, &click);
    return found;
  }
};

// Pearson correlation of two 8-bit pictures of one size.
double Correlation(const QImage& a, const QImage& b) {
  double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0, n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) {
      const double u = a.pixelIndex(x, y), v = b.pixelIndex(x, y);
      sa += u, sb += v, saa += u * u, sbb += v * v, sab += u * v, n += 1;
    }
  return (sab - sa * sb / n) / std::sqrt((saa - sa * sa / n) * (sbb - sb * sb / n));
}

// Of every `step`-th row and column: the pixels whose red and blue differ,
// and those that are not grey.
std::pair<int, int> Coloured(const QImage& picture, int step) {
  std::pair<int, int> coloured;
  for (int y = 0; y < picture.height(); y += step)
    for (int x = 0; x < picture.width(); x += step) {
      const QRgb c = picture.pixel(x, y);
      coloured.first += qRed(c) != qBlue(c);
      coloured.second += qRed(c) != qGreen(c) || qGreen(c) != qBlue(c);
    }
  return coloured;
}

// One decode of the sample, then everything shown from it again: readouts,
// crops, cloud tops and display options remake the pictures without reading
// the recording again; input options offer to read it again.
TEST_F(MainWindowTest, TheSampleFillsEveryTabAndIsRemadeFromTheDecodedLines) {
  window->OpenFile(VZ_SAMPLE);
  EXPECT_TRUE(window->Running());
  EXPECT_EQ(OpenCaption(), "Esc stops");
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(OpenCaption(), "Open...");
  EXPECT_EQ(window->windowTitle(), "noaa15-excerpt-2min.wav - NOAA14");
  auto* tabs = window->findChild<QTabWidget*>("tabs");
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(tabs->isTabVisible(i)) << i;
  EXPECT_EQ(Picture("Main Image").size(), QSize(2080, kSampleLines));
  for (const char* tab : {"Channel A", "Channel B", "False colour"})
    EXPECT_EQ(Picture(tab).size(), QSize(1040, kSampleLines)) << tab;
  const QImage colour = Picture("False colour");
  EXPECT_GT(Coloured(colour, 4).first, colour.width() * colour.height() / 16 / 10);
  EXPECT_TRUE(messages->entries.empty());

  // The diagnostics plot the run's measurements: the analyser averages over
  // half a second, a NOAA line, and the autocorrelation peaks a line on.
  Action("viewDiagnostics")->trigger();
  const auto& plots = window->findChild<TDiagnosticsView*>()->PlotViews();
  ASSERT_EQ(plots.size(), 4u);
  for (const TPlotView* plot : plots) EXPECT_GT(plot->Series().values.size(), 1000u);
  EXPECT_EQ(plots[1]->Series().values.size(), 11025u / 2);
  const auto& acf = plots[3]->Series();
  const auto peak = std::max_element(acf.values.begin() + 1000, acf.values.end());
  EXPECT_NEAR((peak - acf.values.begin()) * acf.xStep, 0.5, 0.01);

  // Over the infrared channel the cursor reads a temperature; dragging
  // measures 3.3 km a pixel.
  const QPoint pixel(300, 100);
  Hover("Channel B", pixel);
  EXPECT_EQ(Label("line"), QString("Line %1  Pixel %2: %3")
                               .arg(pixel.y())
                               .arg(pixel.x())
                               .arg(Picture("Channel B").pixelIndex(pixel)));
  QString land = Label("value");
  ASSERT_TRUE(land.endsWith("°C")) << land.toStdString();
  land.chop(2);
  QWidget* viewport = View("Channel B")->viewport();
  const QPoint at = ShowAt("Channel B", pixel);
  QTest::mousePress(viewport, Qt::LeftButton, {}, at);
  QTest::mouseMove(viewport, at + QPoint(100, 0));
  EXPECT_EQ(Label("position"), "Distance: ~330 km");
  QTest::mouseRelease(viewport, Qt::LeftButton, {}, at + QPoint(100, 0));
  EXPECT_EQ(Label("position"), "");

  // A right click crops the pass: the picture as seen loses the rows above
  // row 50; past the channel switch the stretch differs: alike, not equal.
  const QImage whole = Picture("Channel A");
  ASSERT_TRUE(RightClick("Channel A", {300, 50}, "cropAbove"));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Picture("Channel A"), whole.copy(0, 50, whole.width(), kSampleLines - 50));
  EXPECT_EQ(Picture("Channel B").height(), kSampleLines - 50);
  EXPECT_EQ(Picture("Main Image").height(), kSampleLines);  // every line as decoded
  ASSERT_TRUE(RightClick("Channel B", {300, 100}, "cropBelow"));
  ASSERT_TRUE(WaitIdle());
  ASSERT_EQ(Picture("Channel A").height(), 101);
  EXPECT_GT(Correlation(Picture("Channel A"), whole.copy(0, 50, whole.width(), 101)), 0.95);
  EXPECT_TRUE(window->statusBar()->currentMessage().startsWith("Showing decoded lines"));
  // Too few lines would be left: refused.
  EXPECT_TRUE(RightClick("Channel A", {300, 95}, "cropAbove"));
  EXPECT_FALSE(window->Running());
  EXPECT_EQ(Picture("Channel A").height(), 101);
  ASSERT_TRUE(RightClick("False colour", {10, 10}, "resetCrop"));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Picture("Channel A"), whole);

  // Cloud tops recalibrate to the land temperature clicked, once confirmed.
  Action("NoaaColourMapIndex=3")->trigger();  // "CloudTop"
  ASSERT_TRUE(WaitIdle());
  ASSERT_GT(Coloured(Picture("False colour"), 2).second, 0);
  ASSERT_TRUE(RightClick("Channel B", pixel, "calibrateCloudtop"));  // declined
  ASSERT_EQ(messages->entries.size(), 1u);
  EXPECT_EQ(messages->entries[0].text,
            "OK to recalibrate display to land temperature " + land.toStdString());
  EXPECT_EQ(messages->entries[0].caption, "Calibrate Base Cloudtop Display");
  EXPECT_FALSE(window->Running());
  messages->answers = {maYes};
  ASSERT_TRUE(RightClick("Channel B", pixel, "calibrateCloudtop"));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Coloured(Picture("False colour"), 2).second, 0);  // every column of the lookup a grey
  // The main picture shows every line as decoded, without temperatures.
  for (const char* entry : {"cropAbove", "calibrateCloudtop"})
    EXPECT_FALSE(RightClick("Main Image", pixel, entry)) << entry;

  // A display option remakes the pictures; without "AutoUpdate" it waits
  // for the Process button.
  const QImage original = Picture("Channel A");
  Action("LargeImage")->trigger();
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Picture("Channel A").size(), QSize(1560, kSampleLines * 3 / 2));  // the whole pass
  auto* process = window->findChild<QPushButton*>("processButton");
  EXPECT_FALSE(process->isVisible());
  Action("AutoUpdate")->trigger();
  QApplication::processEvents();
  EXPECT_TRUE(process->isVisible());
  const QImage large = Picture("Channel A");
  Action("LargeImage")->trigger();
  EXPECT_FALSE(window->Running());
  EXPECT_EQ(Picture("Channel A"), large);
  QTest::mouseClick(process, Qt::LeftButton);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(Picture("Channel A"), original);
  // The gamma box applies its value once it has rested for 0.8 s.
  Action("AutoUpdate")->trigger();
  auto* gamma = window->findChild<QDoubleSpinBox*>("gamma");
  gamma->setValue(2.0);
  gamma->setValue(2.5);
  QTest::qWait(400);
  EXPECT_FALSE(window->Running());
  ASSERT_TRUE(WaitIdle());
  EXPECT_NE(Picture("Channel A"), original);
  // Open, three crops, colour map, calibration, large, Process, gamma.
  EXPECT_EQ(LogCount("Video post-processing time"), 9);
  EXPECT_EQ(LogCount("Process wave file"), 1);

  // An input option offers to read the recording again and waits while it
  // is read; the value it has already asks nothing.
  messages->entries.clear();
  messages->answers = {maYes};
  Action("InputFilter=2")->trigger();
  ASSERT_EQ(messages->entries.size(), 1u);
  EXPECT_EQ(messages->entries[0].text,
            "Changing the input filter requires you to process the whole source file again.  "
            "Would you like reload the present wave file now?");
  EXPECT_EQ(messages->entries[0].caption, "Vivurozed - reload required");
  ASSERT_TRUE(window->Running());
  EXPECT_FALSE(Action("InputFilter=0")->isEnabled());
  ASSERT_TRUE(WaitIdle());
  EXPECT_TRUE(Action("InputFilter=0")->isEnabled());
  EXPECT_EQ(LogCount("Process wave file"), 1);
  Action("InputFilter=2")->trigger();
  messages->answers = {maNo};
  Action("TapeInput")->trigger();
  ASSERT_EQ(messages->entries.size(), 2u);
  EXPECT_EQ(messages->entries[1].text.rfind("Changing the tape source requires", 0), 0u);
  EXPECT_FALSE(window->Running());
}

TEST_F(MainWindowTest, EscOpenOrADropStopTheRunAndOnlyOneDroppedFileRuns) {
  const std::pair<const char*, std::function<void()>> stops[] = {
      {"Esc", [&] { QTest::keyClick(window.get(), Qt::Key_Escape); }},
      {"Open button",
       [&] { QTest::mouseClick(window->findChild<QPushButton*>("openButton"), Qt::LeftButton); }},
      {"drop", [&] { Drop({VZ_SAMPLE}); }},
      {"open again", [&] { window->OpenFile(VZ_SAMPLE); }},
  };
  for (const auto& [name, stop] : stops) {
    window->OpenFile(VZ_SAMPLE);
    ASSERT_TRUE(window->Running()) << name;
    stop();
    ASSERT_TRUE(WaitIdle()) << name;
    // Streaming ended at once; the run finished on the few lines it had.
    EXPECT_LT(Picture("Main Image").height(), kSampleLines / 2) << name;
    EXPECT_EQ(LogCount("Process wave file"), 1) << name;
    EXPECT_EQ(OpenCaption(), "Open...") << name;
    EXPECT_TRUE(messages->entries.empty()) << name << ": " << messages->entries[0].text;
  }

  const fs::path copy = dir / "pass.wav";
  fs::copy_file(VZ_SAMPLE, copy);
  Drop({VZ_SAMPLE, QString::fromStdString(copy.string())});
  EXPECT_FALSE(window->Running());
  ASSERT_EQ(messages->entries.size(), 1u);
  EXPECT_EQ(messages->entries[0].text, "Please drop only one file.");
  Drop({QString::fromStdString(copy.string())});
  EXPECT_TRUE(window->Running());
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(window->windowTitle(), "pass.wav - NOAA14");
  EXPECT_EQ(TSettingsStore(SoftwareKeyPath(kProgramName)).ReadString("SourceFolder"),
            dir.Path().string());
}

TEST_F(MainWindowTest, ClosingStopsTheRunAndTheNextWindowOpensAsThisOneWasLeft) {
  Action("InputFilter=1")->trigger();  // no file yet: nothing to ask
  EXPECT_TRUE(messages->entries.empty());
  auto* box = window->findChild<QComboBox*>("sensor");
  ASSERT_EQ(box->count(), 8);
  EXPECT_EQ(box->itemText(5), "NOAA 18");
  EXPECT_EQ(box->itemText(7), "NOAA14 - Quorum");
  emit box->activated(6);
  Action("LargeImage")->trigger();
  window->setGeometry(120, 90, 700, 500);
  const QPoint framePos = window->pos();

  window->OpenFile(VZ_SAMPLE);
  messages->answers = {maNo};  // should the stopped run's picture be offered for saving
  window->close();
  EXPECT_TRUE(window->isVisible());  // until the run has stopped
  ASSERT_TRUE(WaitFor([&] { return !window->isVisible(); }));
  EXPECT_FALSE(window->Running());
  EXPECT_LT(Picture("Main Image").height(), kSampleLines / 2);

  Show();
  EXPECT_EQ(window->size(), QSize(700, 500));
  EXPECT_EQ(window->pos(), framePos);
  EXPECT_EQ(window->findChild<QComboBox*>("sensor")->currentIndex(), 6);
  TSettingsStore stored(SoftwareKeyPath(kProgramName));
  EXPECT_EQ(stored.ReadInteger("SatelliteModel"), 7);
  EXPECT_EQ(stored.ReadInteger("LargeImage"), 1);
  EXPECT_EQ(stored.ReadInteger("InputFilter"), 1);
}

// A NOAA 15 pass named and timed as a receiver leaves it: the window asks to
// confirm the pass, shows the overlay, reads the earth under the cursor and
// moves the overlay a line without reading the recording again.
TEST_F(MainWindowTest, TheOverlayOfAConfirmedPassIsShownReadOutAndNudged) {
  const fs::path data = VZ_TEST_DATA;
  const fs::path wav = dir / "08251828_NOAA15.wav";
  fs::copy_file(data / "noaa15-excerpt-110s.wav", wav);
  SetModifiedTime(wav, DateTimeToUnix(EncodeDateTime(2019, 8, 25, 18, 28, 15, 168)) + 110.0);
  fs::create_directories(dir / "keps");
  fs::copy_file(data / "weather-2019-08-25.txt", dir / "keps" / "weather.txt");
  TSettingsStore zevuvid(SoftwareKeyPath("Zevuvid"));
  zevuvid.WriteString("CurrentLat", "55.9");
  zevuvid.WriteString("CurrentLon", "-3.2");
  Show([&](TSettingsStore& s) {
    s.WriteInteger("ZeveDuruviz", 1);
    s.WriteInteger("ConfirmPass", 1);
    s.WriteString("KepsCurrPath", (dir / "keps").string());
  });

  QStringList shown;
  WhenShown<TConfirmPassDialog>([&](TConfirmPassDialog* d) {
    shown = {d->findChild<QComboBox*>("satellite")->currentText(),
             d->findChild<QDateEdit*>("date")->text(), d->findChild<QTimeEdit*>("time")->text(),
             d->findChild<QRadioButton*>("north")->isChecked() ? "north" : "south"};
    for (int i = 0; i <= TConfirmPassDialog::kTimeoutSeconds; ++i) d->Tick();
  });
  window->OpenFile(QString::fromStdString(wav.string()));
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(shown, QStringList({"NOAA-15", "2019 Aug 25", "18:28:00", "north"}));
  EXPECT_EQ(LogCount("Pass confirmed: NOAA-15"), 1);
  EXPECT_TRUE(messages->entries.empty());

  // The View menu takes the overlay off the pictures and puts it back.
  const QImage overlaid = Picture("Channel B"), before = Picture("Main Image");
  Action("showOverlay")->trigger();
  const QImage plain = Picture("Main Image");
  EXPECT_NE(Picture("Channel B"), overlaid);
  EXPECT_EQ(Picture("Channel B").size(), overlaid.size());
  Action("showOverlay")->trigger();
  EXPECT_EQ(Picture("Channel B"), overlaid);

  // The northbound pass shows its channels turned: picture line 100 (pass
  // line 161) is the 101st row from the bottom, and its sub-satellite point
  // (overlay column 536) lies at column 1039 - 536. The truth: the earth
  // point of the independent reference, and the look angles from
  // tests/gui/make_look_angles.py at 18:29:05.5 (azimuth 170.53, elevation
  // 20.85).
  Hover("Channel B", QPoint(1039 - 536, overlaid.height() - 1 - 100));
  const QRegularExpression readout(
      "^Lat:(-?[0-9.]+)\u00b0  Lon:(-?[0-9.]+)\u00b0,  Az:([0-9]+)\u00b0  El:([0-9]+)\u00b0$");
  const auto m = readout.match(Label("position"));
  ASSERT_TRUE(m.hasMatch()) << Label("position").toStdString();
  const auto reference = testing::ReadBytes(data / "map" / "noaa15-20190825-182745.lcn");
  float truth[2];
  std::memcpy(truth, reference.data() + 161 * 408 + 25 * 8, sizeof truth);
  EXPECT_NEAR(m.captured(1).toDouble(), truth[0], 0.15);
  EXPECT_NEAR(m.captured(2).toDouble(), truth[1], 0.15);
  EXPECT_NEAR(m.captured(3).toDouble(), 170.53, 1.5);
  EXPECT_NEAR(m.captured(4).toDouble(), 20.85, 1.5);

  // One line down on the main picture (not turned): every overlay pixel is
  // one row lower, for this satellite's calibration model only.
  window->findChild<QTabWidget*>("tabs")->setCurrentWidget(View("Main Image"));
  QTest::mouseClick(window->findChild<QWidget*>("overlayDown"), Qt::LeftButton);
  ASSERT_TRUE(WaitIdle());
  const QImage after = Picture("Main Image");
  ASSERT_EQ(after.size(), before.size());
  int moved = 0;
  for (int y = 1; y < after.height(); ++y)
    for (int x = 0; x < after.width(); ++x) {
      const bool was = before.pixelIndex(x, y - 1) != plain.pixelIndex(x, y - 1);
      const bool is = after.pixelIndex(x, y) != plain.pixelIndex(x, y);
      ASSERT_EQ(is, was) << x << "," << y;
      moved += is;
    }
  EXPECT_GT(moved, 1000);
  EXPECT_EQ(TSettingsStore(SoftwareKeyPath(kProgramName)).ReadString("OvlLineOfs"), "0,0,-1,0,0");
  EXPECT_EQ(LogCount("Process wave file"), 1);
  EXPECT_EQ(LogCount("Video post-processing time"), 1);
  EXPECT_EQ(LogCount("Overlay rendering time"), 2);
}

TEST(DiagnosticsPlots, ARisingSeriesIsDrawnRisingInsideItsAxes) {
  QImage image(400, 300, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  const QRectF area = PaintPlot(painter, image.rect(), {"ramp", "x", 1, {0, 1, 2, 3, 4}});
  painter.end();
  ASSERT_FALSE(area.isEmpty());
  auto curveRow = [&](int x) {
    for (int y = int(area.top()) + 2; y < int(area.bottom()) - 1; ++y)
      if (qBlue(image.pixel(x, y)) > qRed(image.pixel(x, y)) + 60) return y;
    return -1;
  };
  const int left = curveRow(int(area.left() + area.width() * 0.1));
  const int right = curveRow(int(area.left() + area.width() * 0.9));
  ASSERT_GT(left, 0);
  ASSERT_GT(right, 0);
  EXPECT_NEAR(left - right, area.height() * 0.8, 3);
}

}  // namespace
}  // namespace vivurozed
