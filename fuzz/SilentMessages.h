// Messages and questions go nowhere in a fuzz run; a question takes the
// answer the caller marked as safe.
#pragma once

#include <string>

#include "platform/UserMessages.h"

class SilentMessages : public vivurozed::TUserMessages {
 public:
  void Show(const std::string&, const std::string&) override {}
  vivurozed::TMessageAnswer AskYesNo(const std::string&, const std::string&,
                                     vivurozed::TMessageAnswer safe) override {
    return safe;
  }
  vivurozed::TMessageAnswer AskYesNoCancel(const std::string&, const std::string&,
                                           vivurozed::TMessageAnswer safe) override {
    return safe;
  }
};
