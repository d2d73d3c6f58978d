// The POSIX socket's error texts: the system's text for a code it knows, an empty text for one
// it has none for (the window then shows its own message); a host with several addresses,
// tried in order until one connects.
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/headless.h"
#include "platform/posix/posix_socket.h"

namespace velmora::testing {
namespace {

// The socket's codes for resolver failures: -1000 less the size of the resolver's code.
int ResolverFailure(int code) { return -1000 - std::abs(code); }

TEST(PosixSocket, ErrorTextIsTheSystemsOrEmpty) {
  struct Case {
    const char* name;
    int error;
    std::string text;
  };
  const Case cases[] = {
      {"refused", ECONNREFUSED, std::strerror(ECONNREFUSED)},
      {"timed out", ETIMEDOUT, std::strerror(ETIMEDOUT)},
      {"unreachable", EHOSTUNREACH, std::strerror(EHOSTUNREACH)},
      {"unknown number", 123456, ""},
      {"negative number", -5, ""},
      {"minus one", -1, ""},
      {"resolver: no such name", ResolverFailure(EAI_NONAME), gai_strerror(EAI_NONAME)},
      {"resolver: try again", ResolverFailure(EAI_AGAIN), gai_strerror(EAI_AGAIN)},
      {"resolver: unknown code", ResolverFailure(123456), ""},
  };
  const PosixSocket socket;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(socket.ErrorText(c.error), c.text);
  }
  EXPECT_FALSE(socket.ErrorText(ECONNREFUSED).empty());
  EXPECT_FALSE(socket.ErrorText(ResolverFailure(EAI_NONAME)).empty());
}

// A socket on which the host "several" has the addresses of the hosts in `hosts`, in order.
class SeveralAddressSocket : public PosixSocket, public SocketEventHandler {
 public:
  explicit SeveralAddressSocket(std::vector<std::string> hosts) : hosts_(std::move(hosts)) { SetEventHandler(this); }
  void OnSocketEvent(SocketEvent event, int error) override {
    if (event == SocketEvent::Connected) {
      connects.push_back(error);
      openAtReport = IsOpen();
    }
  }
  std::vector<int> connects;
  bool openAtReport = false;

 protected:
  int Resolve(const std::string& host, std::vector<Candidate>& out) const override {
    if (host != "several") return PosixSocket::Resolve(host, out);
    for (const std::string& h : hosts_) {
      if (const int error = PosixSocket::Resolve(h, out); error != 0) return error;
    }
    return 0;
  }

 private:
  std::vector<std::string> hosts_;
};

TEST(PosixSocket, EachAddressIsTriedUntilOneConnects) {
  LoopbackHost peer;  // on 127.0.0.1 only: 127.0.0.2 and 127.0.0.3 refuse on its port
  const struct {
    const char* name;
    std::vector<std::string> hosts;
    int result;
  } cases[] = {
      {"first refuses", {"127.0.0.2", "127.0.0.1"}, 0},
      {"two refuse", {"127.0.0.2", "127.0.0.3", "127.0.0.1"}, 0},
      {"the first connects", {"127.0.0.1", "127.0.0.2"}, 0},
      {"all refuse: the last error", {"127.0.0.2", "127.0.0.3"}, ECONNREFUSED},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SeveralAddressSocket socket(c.hosts);
    ASSERT_EQ(socket.Connect({"several", peer.port}), 0);
    for (int i = 0; i < 1500 && socket.connects.empty() && socket.PollOnce(20); ++i) {
    }
    EXPECT_EQ(socket.connects, std::vector<int>{c.result});  // one report, whatever was tried
    EXPECT_TRUE(socket.openAtReport);
    if (c.result == 0) {
      EXPECT_TRUE(peer.Accept());
    }
  }
}

}  // namespace
}  // namespace velmora::testing
