#pragma once
// Bounded blocking-style I/O (POSIX) for a host played by a test on 127.0.0.1, on a thread of
// its own: every wait polls in short slices against a deadline and lets go at once when the
// test ends early. Nothing here measures time.
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/loopback_host.h"

namespace velmora::testing {

// Waits for `events` on fd; false when the wait ran out or poll failed.
inline bool WaitFor(int fd, short events, const Deadline& deadline) {
  while (!deadline.Passed()) {
    pollfd p{fd, events, 0};
    const int n = poll(&p, 1, 20);
    if (n > 0) return true;
    if (n < 0 && errno != EINTR) return false;
  }
  return false;
}

// Waits for the test to set a flag.
inline bool WaitForFlag(const std::atomic<bool>& flag, const Deadline& deadline) {
  while (!flag.load()) {
    if (deadline.Passed()) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

inline bool WriteAll(int fd, std::string_view data, const Deadline& deadline) {
  while (!data.empty()) {
    if (!WaitFor(fd, POLLOUT, deadline)) return false;
    const ssize_t n = send(fd, data.data(), data.size(), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Reads exactly n bytes in reads of at most `chunk`; false on the end of the stream, an error
// or the deadline.
inline bool ReadExactly(int fd, size_t n, std::string& out, size_t chunk, const Deadline& deadline) {
  std::vector<char> buf(chunk);
  size_t got = 0;
  while (got < n) {
    if (!WaitFor(fd, POLLIN, deadline)) return false;
    const ssize_t r = recv(fd, buf.data(), std::min(chunk, n - got), MSG_DONTWAIT);
    if (r == 0) return false;
    if (r < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    out.append(buf.data(), static_cast<size_t>(r));
    got += static_cast<size_t>(r);
  }
  return true;
}

// Reads until the terminal ends its output; whether the end of the stream was seen. A slow host
// rests a moment every few reads.
inline bool ReadToEnd(int fd, std::string& out, size_t chunk, const Deadline& deadline, bool slow = false) {
  std::vector<char> buf(chunk);
  for (unsigned reads = 0;; ++reads) {
    if (!WaitFor(fd, POLLIN, deadline)) return false;
    const ssize_t r = recv(fd, buf.data(), chunk, MSG_DONTWAIT);
    if (r == 0) return true;
    if (r < 0) {
      if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) continue;
      return false;
    }
    out.append(buf.data(), static_cast<size_t>(r));
    if (slow && reads % 64 == 63) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

}  // namespace velmora::testing
