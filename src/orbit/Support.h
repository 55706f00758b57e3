// Reading the fixed columns of element lines, and the small text helpers
// the element readers share.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace vivurozed {

// The text of columns start .. start + length - 1 (1-based); shorter when
// the line ends first.
std::string FieldText(std::string_view line, int start, int length);
// The field as a number with '.' as decimal point, blanks read as '0'. An
// empty field, or one that is not a finite number, is 0.
double FieldValue(std::string_view line, int start, int length);

std::string Trim(std::string_view text);
std::string TrimRight(std::string_view text);
std::string UpperCase(std::string_view text);
bool SameTextNoCase(std::string_view a, std::string_view b);
// Splits at CR LF, LF or CR; a final line ending adds no empty line.
std::vector<std::string> SplitLines(std::string_view text);

}  // namespace vivurozed
