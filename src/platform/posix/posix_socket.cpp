#include "platform/posix/posix_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <limits>
#include <string>

namespace velmora {

namespace {

constexpr long kSocketError = -2;

// Resolver failures are returned as -1000 - |code|, apart from the system's error numbers
// (positive); getaddrinfo's codes are negative on some systems and positive on others.
constexpr int kResolverErrorBase = -1000;
constexpr bool kNegativeResolverCodes = EAI_NONAME < 0;

int ResolverError(int code) { return kResolverErrorBase - (code < 0 ? -code : code); }
int ResolverCode(int error) {
  const int magnitude = kResolverErrorBase - error;
  return kNegativeResolverCodes ? -magnitude : magnitude;
}

void SetPort(sockaddr_storage& address, uint16_t port) {
  if (address.ss_family == AF_INET6) {
    reinterpret_cast<sockaddr_in6&>(address).sin6_port = htons(port);
  } else {
    reinterpret_cast<sockaddr_in&>(address).sin_port = htons(port);
  }
}

// strerror_r comes in two forms: the XSI one answers 0 and fills the buffer (or an error for
// a number it has no text for), the GNU one answers the text.
[[maybe_unused]] const char* StrerrorResult(int rc, const char* buffer) { return rc == 0 ? buffer : nullptr; }
[[maybe_unused]] const char* StrerrorResult(const char* text, const char*) { return text; }

std::string StrerrorText(int error) {
  char buffer[1024] = {};
  const char* text = StrerrorResult(strerror_r(error, buffer, sizeof buffer), buffer);
  return text != nullptr ? text : "";
}

// The system's text for an error number, or an empty text when it has none, so that the
// window shows its own message instead. The C library answers a number it does not know with
// a stand-in ("Unknown error 123456" in glibc, one text for all of them in musl), in the
// locale's language; the stand-in is recognised by asking for -1, which no error has, and
// putting the number asked about in place of its "-1".
std::string SystemErrorText(int error) {
  const std::string text = StrerrorText(error);
  std::string unknown = StrerrorText(-1);
  if (text.empty() || text == unknown) return {};
  if (const size_t at = unknown.rfind("-1"); at != std::string::npos) {
    unknown.replace(at, 2, std::to_string(error));
    if (text == unknown) return {};
  }
  return text;
}

// The resolver's text for one of its codes, or an empty text when it has none: it answers
// every code it does not know with the same stand-in.
std::string ResolverErrorText(int code) {
  const std::string text = gai_strerror(code);
  return text == gai_strerror(std::numeric_limits<int>::min()) ? std::string() : text;
}

uint16_t TelnetPort() {
  if (const servent* service = getservbyname("telnet", "tcp")) return ntohs(static_cast<uint16_t>(service->s_port));
  return 23;
}

}  // namespace

PosixSocket::~PosixSocket() { Close(); }

// The name resolved, or else the text read as a dotted IPv4 address.
int PosixSocket::Resolve(const std::string& host, std::vector<Candidate>& out) const {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int error = getaddrinfo(host.c_str(), nullptr, &hints, &found);
  const int systemError = errno;
  const size_t before = out.size();
  for (const addrinfo* a = error == 0 ? found : nullptr; a != nullptr; a = a->ai_next) {
    if ((a->ai_family != AF_INET && a->ai_family != AF_INET6) || a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    Candidate candidate{};
    std::memcpy(&candidate.address, a->ai_addr, a->ai_addrlen);
    candidate.length = a->ai_addrlen;
    out.push_back(candidate);
  }
  if (found != nullptr) freeaddrinfo(found);
  if (out.size() > before) return 0;
  sockaddr_in dotted{};
  if (inet_pton(AF_INET, host.c_str(), &dotted.sin_addr) == 1) {
    dotted.sin_family = AF_INET;
    Candidate candidate{};
    std::memcpy(&candidate.address, &dotted, sizeof dotted);
    candidate.length = sizeof dotted;
    out.push_back(candidate);
    return 0;
  }
  if (error == EAI_SYSTEM) return systemError != 0 ? systemError : EIO;
  return ResolverError(error != 0 ? error : EAI_NONAME);
}

int PosixSocket::Connect(const HostAddress& target) {
  if (fd_ >= 0) return 0;
  candidates_.clear();
  nextCandidate_ = 0;
  if (const int error = Resolve(target.host, candidates_); error != 0) {
    candidates_.clear();
    return error;
  }
  const uint16_t port = target.port ? *target.port : portOverride_ ? *portOverride_ : TelnetPort();
  for (Candidate& candidate : candidates_) SetPort(candidate.address, port);
  return ConnectNext();
}

int PosixSocket::ConnectNext() {
  int error = EHOSTUNREACH;
  while (nextCandidate_ < candidates_.size()) {
    const Candidate& peer = candidates_[nextCandidate_++];
    const int fd = socket(peer.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      error = errno;
      continue;
    }
    if (connect(fd, reinterpret_cast<const sockaddr*>(&peer.address), peer.length) != 0 && errno != EINPROGRESS) {
      error = errno;
      ::close(fd);
      continue;
    }
    // Even a connect that finished at once is reported as an event, as the window expects.
    fd_ = fd;
    connecting_ = true;
    wantWrite_ = false;
    closedReported_ = false;
    return 0;
  }
  candidates_.clear();
  nextCandidate_ = 0;
  return error;
}

long PosixSocket::Send(const uint8_t* data, size_t size) {
  if (fd_ < 0 || connecting_) return fd_ < 0 ? kSocketError : kWouldBlock;
  const ssize_t n = send(fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
  if (n >= 0) {
    if (static_cast<size_t>(n) < size) wantWrite_ = true;
    return n;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
    wantWrite_ = true;
    return kWouldBlock;
  }
  return kSocketError;
}

long PosixSocket::Receive(uint8_t* data, size_t size) {
  if (fd_ < 0) return kSocketError;
  const ssize_t n = recv(fd_, data, size, MSG_DONTWAIT);
  if (n >= 0) return n;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kWouldBlock;
  return kSocketError;
}

void PosixSocket::ShutdownSend() {
  if (fd_ >= 0) shutdown(fd_, SHUT_WR);
}

void PosixSocket::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  candidates_.clear();
  nextCandidate_ = 0;
  connecting_ = false;
  wantWrite_ = false;
  closedReported_ = false;
}

std::string PosixSocket::ErrorText(int error) const {
  if (error <= kResolverErrorBase) return ResolverErrorText(ResolverCode(error));
  return SystemErrorText(error);
}

short PosixSocket::WantedEvents() const {
  if (fd_ < 0 || closedReported_) return 0;
  if (connecting_) return POLLOUT;
  return static_cast<short>(POLLIN | (wantWrite_ ? POLLOUT : 0));
}

void PosixSocket::Dispatch(short revents) {
  if (fd_ < 0 || handler_ == nullptr) return;
  if (connecting_) {
    if ((revents & (POLLOUT | POLLERR | POLLHUP)) == 0) return;
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
    if (error != 0 && nextCandidate_ < candidates_.size()) {
      // The next address is tried; the failed socket stays until one is under way, so that a
      // failure of them all is reported with a socket still there, as for a single address.
      const int failed = fd_;
      fd_ = -1;
      const int next = ConnectNext();
      if (next == 0) {
        ::close(failed);
        return;
      }
      fd_ = failed;
      error = next;
    }
    candidates_.clear();
    nextCandidate_ = 0;
    connecting_ = false;
    handler_->OnSocketEvent(SocketEvent::Connected, error);
    return;
  }
  if (!closedReported_ && (revents & (POLLIN | POLLHUP | POLLERR)) != 0) {
    // Data first; the end of the stream is reported once everything before it has been read.
    uint8_t byte;
    const ssize_t n = recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    if (n > 0) {
      handler_->OnSocketEvent(SocketEvent::Readable, 0);
    } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      const int error = n == 0 ? 0 : errno;
      closedReported_ = true;
      handler_->OnSocketEvent(SocketEvent::Closed, error);
      return;
    }
  }
  if (fd_ >= 0 && wantWrite_ && (revents & POLLOUT) != 0) {
    wantWrite_ = false;
    handler_->OnSocketEvent(SocketEvent::Writable, 0);
  }
}

bool PosixSocket::PollOnce(int timeoutMs) {
  if (fd_ < 0) return false;
  pollfd p{fd_, WantedEvents(), 0};
  if (poll(&p, 1, timeoutMs) > 0) Dispatch(p.revents);
  return true;
}

}  // namespace velmora
