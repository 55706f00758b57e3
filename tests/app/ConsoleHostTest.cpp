#include "app/ConsoleHost.h"

#include <gtest/gtest.h>

#include <sstream>

namespace vivurozed {
namespace {

TEST(RunMessages, UnattendedQuestionsTakeTheSafeAnswerAndTheLogSaysSo) {
  TDiagnostics log;
  std::ostringstream err;
  TConsoleHost host(err, false);
  std::istringstream in("y\n");
  TRunMessages messages(log, host, in, false);
  EXPECT_EQ(messages.AskYesNo("Overwrite?", "Overwrite existing file?", maNo), maNo);
  messages.Show("Error saving to file: x.png", "");
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"Overwrite existing file?: Overwrite? -> No (unattended)",
                                      "Error saving to file: x.png"}));
  // Progress only on a terminal.
  host.Progress("Refine sync", 3);
  host.Line("Signal level is OK");
  EXPECT_EQ(err.str().substr(err.str().find("Signal")), "Signal level is OK\n");
  EXPECT_EQ(err.str().find("Refine sync"), std::string::npos);
}

TEST(RunMessages, InteractiveQuestionsAreAskedOnTheTerminalAndLogged) {
  TDiagnostics log;
  std::ostringstream err;
  TConsoleHost host(err, true);
  std::istringstream in("maybe\nc\ny\n");
  TRunMessages messages(log, host, in, true);
  host.Progress("Process wave file", 40);
  EXPECT_EQ(messages.AskYesNoCancel("Save?", "", maNo), maCancel);
  EXPECT_EQ(messages.AskYesNo("Again?", "", maNo), maYes);
  EXPECT_EQ(messages.AskYesNo("No input left?", "", maNo), maNo);
  EXPECT_EQ(log.Lines(),
            (std::vector<std::string>{"Save? -> Cancel", "Again? -> Yes", "No input left? -> No"}));
  // The progress line is cleared before the question is printed.
  const std::string out = err.str();
  EXPECT_LT(out.find("Process wave file 40%"), out.find("\r\033[KSave? [y/n/c]"));
}

}  // namespace
}  // namespace vivurozed
