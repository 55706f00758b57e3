// The run's diagnostics: an ordered list of text lines with an optional
// listener, so a host can show or stream each line as it is appended.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace vivurozed {

class TDiagnostics {
 public:
  using TListener = std::function<void(const std::string& line)>;

  void Add(std::string line) {
    lines_.push_back(std::move(line));
    if (listener_) listener_(lines_.back());
  }
  void Clear() { lines_.clear(); }
  const std::vector<std::string>& Lines() const { return lines_; }
  std::size_t Count() const { return lines_.size(); }
  void SetListener(TListener listener) { listener_ = std::move(listener); }

 private:
  std::vector<std::string> lines_;
  TListener listener_;
};

// printf-style formatting for log lines and messages.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace vivurozed
