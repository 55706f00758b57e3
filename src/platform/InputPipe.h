// Reading a pipe (or any descriptor) without waiting on it for ever, so that
// a reader can notice a stop request while nothing arrives.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vivurozed {

enum TPipeRead : std::uint8_t { prData = 0, prTimeout = 1, prEnd = 2 };

// Waits at most `wait` for bytes on fd and reads what is there into buffer;
// count gets the bytes read. prEnd once the writer has closed its end.
// Throws std::system_error when the descriptor cannot be read.
TPipeRead ReadPipe(int fd, std::span<std::uint8_t> buffer, std::chrono::milliseconds wait,
                   std::size_t& count);

}  // namespace vivurozed
