// What a user is told, in one line, when a run saves nothing: what was found
// and what to try.
#pragma once

#include <string>
#include <vector>

namespace vivurozed {

// What a file holds, told from its first bytes: "an empty file", "text
// beginning \"# Notes\"", "a PNG picture", "binary data (7f 45 4c 46 ...)".
std::string DescribeFileStart(const std::string& fileName);

// The line for an input the program does not read; names the picture or
// recording it looks like when the name's ending is all that is wrong.
std::string NotAnInputReason(const std::string& fileName);

// The line for a ".wav" whose header could not be read: unreadable, not a
// WAV recording at all, or one without its format or data.
std::string WaveHeaderReason(const std::string& fileName);

// What to try after a system error message ("No space left on device" ...).
std::string AdviceForError(const std::string& error);

// The line for a save that left some pictures unwritten: each entry of
// `failures` is "name: reason"; `written` are the names saved.
std::string SaveFailureReason(const std::vector<std::string>& failures,
                              const std::vector<std::string>& written);

}  // namespace vivurozed
