#include "orbit/Support.h"

#include <charconv>
#include <cmath>

namespace vivurozed {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::string FieldText(std::string_view line, int start, int length) {
  const auto from = static_cast<std::size_t>(start - 1);
  if (start < 1 || length <= 0 || from >= line.size()) return {};
  return std::string(line.substr(from, static_cast<std::size_t>(length)));
}

double FieldValue(std::string_view line, int start, int length) {
  std::string text = FieldText(line, start, length);
  for (char& c : text) {
    if (c == ' ') c = '0';
  }
  if (text.empty()) return 0;
  std::size_t from = 0;
  // Exponents are written "+0".
  if (text[0] == '+') from = 1;
  double value = 0;
  const char* first = text.data() + from;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(first, last, value, std::chars_format::fixed);
  if (error != std::errc() || end != last || !std::isfinite(value)) return 0;
  return value;
}

std::string Trim(std::string_view text) {
  std::size_t a = 0, b = text.size();
  while (a < b && IsBlank(text[a])) ++a;
  while (b > a && IsBlank(text[b - 1])) --b;
  return std::string(text.substr(a, b - a));
}

std::string TrimRight(std::string_view text) {
  std::size_t b = text.size();
  while (b > 0 && IsBlank(text[b - 1])) --b;
  return std::string(text.substr(0, b));
}

std::string UpperCase(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = Upper(c);
  return s;
}

bool SameTextNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Upper(a[i]) != Upper(b[i])) return false;
  }
  return true;
}

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\r' && text[i] != '\n') continue;
    lines.emplace_back(text.substr(start, i - start));
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines.emplace_back(text.substr(start));
  return lines;
}

}  // namespace vivurozed
