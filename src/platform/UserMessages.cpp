#include "platform/UserMessages.h"

#include <unistd.h>
#include <cctype>
#include <iostream>
#include <istream>
#include <ostream>

namespace vivurozed {

namespace {

const char* AnswerName(TMessageAnswer a) {
  switch (a) {
    case maYes:
      return "Yes";
    case maNo:
      return "No";
    default:
      return "Cancel";
  }
}

TUserMessages* installed = nullptr;

}  // namespace

TConsoleMessages::TConsoleMessages(std::ostream& out, std::istream& in, bool interactive)
    : out_(out), in_(in), interactive_(interactive) {}

void TConsoleMessages::Show(const std::string& text, const std::string& caption) {
  out_ << (caption.empty() ? std::string() : caption + ": ") << text << '\n' << std::flush;
}

TMessageAnswer TConsoleMessages::AskYesNo(const std::string& text, const std::string& caption,
                                          TMessageAnswer safeAnswer) {
  return Ask(text, caption, false, safeAnswer);
}

TMessageAnswer TConsoleMessages::AskYesNoCancel(const std::string& text, const std::string& caption,
                                                TMessageAnswer safeAnswer) {
  return Ask(text, caption, true, safeAnswer);
}

TMessageAnswer TConsoleMessages::Ask(const std::string& text, const std::string& caption,
                                     bool withCancel, TMessageAnswer safeAnswer) {
  const std::string prefix = caption.empty() ? std::string() : caption + ": ";
  if (!interactive_) {
    out_ << prefix << text << " -> " << AnswerName(safeAnswer) << " (unattended)\n" << std::flush;
    return safeAnswer;
  }
  for (;;) {
    out_ << prefix << text << (withCancel ? " [y/n/c] " : " [y/n] ") << std::flush;
    std::string line;
    if (!std::getline(in_, line)) {
      out_ << "\n-> " << AnswerName(safeAnswer) << " (no input)\n" << std::flush;
      return safeAnswer;
    }
    const char c =
        line.empty() ? '\0' : static_cast<char>(std::tolower(static_cast<unsigned char>(line[0])));
    if (c == 'y') return maYes;
    if (c == 'n') return maNo;
    if (withCancel && c == 'c') return maCancel;
  }
}

TUserMessages& UserMessages() {
  if (installed) return *installed;
  static TConsoleMessages console(std::cerr, std::cin, isatty(STDIN_FILENO) != 0);
  return console;
}

TUserMessages* SetUserMessages(TUserMessages* service) {
  TUserMessages* previous = installed;
  installed = service;
  return previous;
}

}  // namespace vivurozed
