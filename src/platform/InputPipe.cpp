#include "platform/InputPipe.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace vivurozed {

TPipeRead ReadPipe(int fd, std::span<std::uint8_t> buffer, std::chrono::milliseconds wait,
                   std::size_t& count) {
  count = 0;
  pollfd p{fd, POLLIN, 0};
  const int ready = poll(&p, 1, static_cast<int>(wait.count()));
  if (ready < 0) {
    if (errno == EINTR) return prTimeout;  // a signal: let the caller look at its flags
    throw std::system_error(errno, std::generic_category(), "poll");
  }
  if (ready == 0) return prTimeout;
  // POLLHUP with bytes still buffered: read them first; read says 0 at the end.
  for (;;) {
    const ssize_t n = read(fd, buffer.data(), buffer.size());
    if (n > 0) {
      count = static_cast<std::size_t>(n);
      return prData;
    }
    if (n == 0) return prEnd;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return prTimeout;
    throw std::system_error(errno, std::generic_category(), "read");
  }
}

}  // namespace vivurozed
