// A user-message service for tests: records every message and question and
// answers from a script. Installs itself for its lifetime.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "platform/UserMessages.h"

namespace vivurozed::testing {

class RecordingMessages : public TUserMessages {
 public:
  struct Entry {
    std::string text, caption;
    bool question = false;
  };

  RecordingMessages() : previous_(SetUserMessages(this)) {}
  ~RecordingMessages() override { SetUserMessages(previous_); }
  RecordingMessages(const RecordingMessages&) = delete;
  RecordingMessages& operator=(const RecordingMessages&) = delete;

  void Show(const std::string& text, const std::string& caption) override {
    entries.push_back({text, caption, false});
  }
  TMessageAnswer AskYesNo(const std::string& text, const std::string& caption,
                          TMessageAnswer safe) override {
    return Answer(text, caption, safe);
  }
  TMessageAnswer AskYesNoCancel(const std::string& text, const std::string& caption,
                                TMessageAnswer safe) override {
    return Answer(text, caption, safe);
  }

  std::vector<Entry> entries;
  std::deque<TMessageAnswer> answers;  // taken in order; the safe answer when empty

 private:
  TMessageAnswer Answer(const std::string& text, const std::string& caption, TMessageAnswer safe) {
    entries.push_back({text, caption, true});
    if (answers.empty()) return safe;
    const TMessageAnswer a = answers.front();
    answers.pop_front();
    return a;
  }
  TUserMessages* previous_;
};

}  // namespace vivurozed::testing
