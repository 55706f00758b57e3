#include "platform/UserMessages.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vivurozed {
namespace {

TEST(ConsoleMessages, UnattendedTakesTheSafeAnswerAndSaysSo) {
  std::ostringstream out;
  std::istringstream in("y\n");
  TConsoleMessages console(out, in, false);
  console.Show("File is not a PCM file", "x.wav");
  EXPECT_EQ(out.str(), "x.wav: File is not a PCM file\n");
  EXPECT_EQ(console.AskYesNo("Overwrite?", "a.png", maNo), maNo);
  EXPECT_NE(out.str().find("Overwrite? -> No (unattended)"), std::string::npos);
}

TEST(ConsoleMessages, InteractiveReadsAnswersAndRepeatsOnNonsense) {
  std::ostringstream out;
  std::istringstream in("what\nC\n\ny\n");
  TConsoleMessages console(out, in, true);
  EXPECT_EQ(console.AskYesNoCancel("Save?", "", maNo), maCancel);
  EXPECT_EQ(console.AskYesNo("Again?", "", maNo), maYes);  // the empty line is asked again
  EXPECT_EQ(console.AskYesNo("End of input?", "", maNo), maNo);
}

}  // namespace
}  // namespace vivurozed
