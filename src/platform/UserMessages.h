// Message boxes and questions for the user. The numeric and file code asks
// through this service; the console, the GUI and the tests each install
// their own.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

namespace vivurozed {

enum TMessageAnswer : std::uint8_t { maYes = 0, maNo = 1, maCancel = 2 };

class TUserMessages {
 public:
  virtual ~TUserMessages() = default;
  virtual void Show(const std::string& text, const std::string& caption) = 0;
  // safeAnswer is what an unattended host answers: the choice that loses no data.
  virtual TMessageAnswer AskYesNo(const std::string& text, const std::string& caption,
                                  TMessageAnswer safeAnswer) = 0;
  virtual TMessageAnswer AskYesNoCancel(const std::string& text, const std::string& caption,
                                        TMessageAnswer safeAnswer) = 0;
};

// Writes messages to a stream; asks on the terminal when input is
// interactive, otherwise takes the safe answer and says so.
class TConsoleMessages : public TUserMessages {
 public:
  TConsoleMessages(std::ostream& out, std::istream& in, bool interactive);
  void Show(const std::string& text, const std::string& caption) override;
  TMessageAnswer AskYesNo(const std::string& text, const std::string& caption,
                          TMessageAnswer safeAnswer) override;
  TMessageAnswer AskYesNoCancel(const std::string& text, const std::string& caption,
                                TMessageAnswer safeAnswer) override;

 private:
  TMessageAnswer Ask(const std::string& text, const std::string& caption, bool withCancel,
                     TMessageAnswer safeAnswer);
  std::ostream& out_;
  std::istream& in_;
  bool interactive_;
};

// The installed service; a console one on standard error until a host
// installs its own. Never null.
TUserMessages& UserMessages();
// Installs a service (nullptr restores the default) and returns the previous one.
TUserMessages* SetUserMessages(TUserMessages* service);

}  // namespace vivurozed
