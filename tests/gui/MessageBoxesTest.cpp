#include "gui/MessageBoxes.h"

#include <QAbstractButton>
#include <QMessageBox>

#include <atomic>
#include <thread>

#include "WindowTest.h"

namespace vivurozed {
namespace {

// Presses a button of the box that is up, as a user would.
void Press(QMessageBox::StandardButton button, QString* text) {
  testing::WhenShown<QMessageBox>([button, text](QMessageBox* box) {
    *text = box->text();
    box->button(button)->click();
  });
}

TEST(MessageBoxes, AWorkersQuestionIsAnsweredOnTheWindowsThread) {
  TMessageBoxes boxes(nullptr);
  QString shown;
  Press(QMessageBox::Yes, &shown);
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = boxes.AskYesNo("Reload now?", "Vivurozed", maNo); });
  EXPECT_TRUE(testing::WaitFor([&] { return answer >= 0; }));
  worker.join();
  EXPECT_EQ(answer, maYes);
  EXPECT_EQ(shown, "Reload now?");

  Press(QMessageBox::Cancel, &shown);
  EXPECT_EQ(boxes.AskYesNoCancel("Save?", "", maYes), maCancel);  // asked on this thread
}

TEST(MessageBoxes, OnceClosedAWaitingWorkerTakesTheSafeAnswer) {
  TMessageBoxes boxes(nullptr);
  std::atomic<int> answer{-1};
  // Nobody serves the window's events: only closing ends the wait.
  std::thread worker([&] { answer = boxes.AskYesNoCancel("Save?", "", maCancel); });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(answer, -1);
  boxes.Close();
  worker.join();
  EXPECT_EQ(answer, maCancel);
  EXPECT_EQ(boxes.AskYesNo("Again?", "", maNo), maNo);  // nothing more is shown
}

}  // namespace
}  // namespace vivurozed
