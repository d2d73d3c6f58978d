// The POSIX socket's error texts: the system's text for a code it knows, an empty text for one
// it has none for (the window then shows its own message).
#include <gtest/gtest.h>
#include <netdb.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

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

}  // namespace
}  // namespace velmora::testing
