// The terminal against a real telnet server on 127.0.0.1: BusyBox's telnetd running /bin/sh.
// The terminal connects with PosixSocket, Connection and a TerminalSession whose negotiator
// answers the server on the wire, types an echo command with a Japanese word in the host
// encoding under test, and must show the shell's output of it in Shift-JIS.
//
// The server is a child of the test process, killed and reaped when each test ends and
// killed by the kernel if the test process dies first. Run as root, the test starts it as
// nobody, so that its shell, open to anyone on the machine while it runs, gives no root.
// Every wait is bounded and driven by PosixSocket::PollOnce; nothing is timed.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/posix_socket.h"
#include "screen/screen_observer.h"
#include "telnet/connection.h"
#include "telnet/terminal_session.h"
#include "support/host_io.h"
#include "support/loopback_host.h"
#include "support/loopback_terminal.h"
#include "support/recording_sinks.h"

namespace velmora {
namespace {


using testing::Clock;
using testing::kHangGuard;
// A prompt no shell prints by itself, so that finding it means the shell is ready.
constexpr const char* kPrompt = "velmora-sh> ";

// Runs a program with its output thrown away; true when it exits with status 0.
bool RunsCleanly(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    const int null = open("/dev/null", O_RDWR);
    if (null >= 0) {
      dup2(null, 0);
      dup2(null, 1);
      dup2(null, 2);
    }
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  const auto deadline = Clock::now() + kHangGuard;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (Clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A busybox binary that has telnetd, or an empty string.
std::string FindBusybox() {
  std::vector<std::string> candidates = {"/bin/busybox", "/usr/bin/busybox", "/usr/local/bin/busybox"};
  if (const char* path = std::getenv("PATH")) {
    std::string dirs = path;
    for (size_t start = 0; start <= dirs.size();) {
      const size_t end = std::min(dirs.find(':', start), dirs.size());
      if (end > start) candidates.push_back(dirs.substr(start, end - start) + "/busybox");
      start = end + 1;
    }
  }
  for (const std::string& candidate : candidates) {
    if (access(candidate.c_str(), X_OK) == 0 && RunsCleanly({candidate, "telnetd", "--help"})) return candidate;
  }
  return {};
}

// `busybox telnetd` in the foreground on one loopback port, logging in straight to /bin/sh,
// as the test's own user or, for a test run as root, as nobody.
class TelnetServer {
 public:
  TelnetServer() {
    if (geteuid() != 0) {
      shellUid_ = geteuid();
    } else if (const passwd* nobody = getpwnam("nobody")) {
      shellUid_ = nobody->pw_uid;
      shellGid_ = nobody->pw_gid;
    } else {
      shellUid_ = shellGid_ = 65534;
    }
  }
  // The user the server and its shell run as.
  uid_t shellUid() const { return shellUid_; }

  ~TelnetServer() { Stop(); }

  bool Start(const std::string& busybox, uint16_t port) {
    Stop();
    // Everything the child needs is built before fork: after it only exec-safe calls are made.
    const std::string portText = std::to_string(port);
    std::vector<std::string> args = {busybox, "telnetd", "-F", "-p", portText, "-b", "127.0.0.1",
                                     "-l", "/bin/sh", "-f", "/dev/null"};
    // The shell passes bytes through unchanged whatever the locale; a UTF-8 locale keeps
    // anything locale-aware from touching them either way.
    std::vector<std::string> env = {"PATH=/usr/sbin:/usr/bin:/sbin:/bin", "LANG=C.UTF-8", "LC_ALL=C.UTF-8",
                                    "HOME=/", std::string("PS1=") + kPrompt};
    std::vector<char*> argv, envp;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (std::string& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    const pid_t parent = getpid();
    const bool dropRoot = geteuid() == 0;
    const pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
      if (dropRoot && (setgroups(0, nullptr) != 0 || setgid(shellGid_) != 0 || setuid(shellUid_) != 0)) _exit(126);
      // Never outlive the test process (asked for after the change of user, which clears it).
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      if (getppid() != parent) _exit(127);
      const int null = open("/dev/null", O_RDWR);
      if (null >= 0) {
        dup2(null, 0);
        dup2(null, 1);
      }
      for (int fd = 3; fd < 1024; ++fd) ::close(fd);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    pid_ = pid;
    return true;
  }

  // Whether the server has ended (it does when it cannot bind its port).
  bool Exited() {
    if (pid_ < 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return true;
    }
    return false;
  }

  void Stop() {
    if (pid_ < 0) return;
    kill(pid_, SIGKILL);
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  uid_t shellUid_ = 0;
  gid_t shellGid_ = 0;
};

// The terminal as the main window runs it, with what the shell session asks of its screen.
class Terminal : public testing::LoopbackTerminal<> {
 public:
  using LoopbackTerminal::LoopbackTerminal;

  // One connect attempt; the error it ended with (0: connected).
  int ConnectOnce() {
    connectError.reset();
    if (const int error = connection.ConnectToHost("127.0.0.1"); error != 0) return error;
    if (!PumpUntil([this] { return connectError.has_value(); })) {
      socket.Close();
      return ETIMEDOUT;
    }
    return *connectError;
  }

  // The cursor's line counted from the oldest line of the store: grows with every line feed,
  // scrolling or not.
  int64_t CursorLine() const {
    const ScreenModel& s = session.screen();
    return static_cast<int64_t>(s.store().lineCount) - s.rows() + s.state().cursorRow;
  }

  // Whether the cursor stands right after the shell's prompt.
  bool AtPrompt() const {
    const ScreenModel& s = session.screen();
    const std::string row = Row(s.state().cursorRow) + " ";
    const std::string prompt = kPrompt;
    return s.state().cursorCol == static_cast<int32_t>(prompt.size()) && row.compare(0, prompt.size(), prompt) == 0;
  }

  // The screen for a failure message, bytes above 0x7E as hex.
  std::string Dump() const {
    std::string out;
    char hex[8];
    for (int32_t r = 0; r < session.screen().rows(); ++r) {
      out += "  |";
      for (const char c : Row(r)) {
        const auto b = static_cast<uint8_t>(c);
        if (b >= 0x20 && b < 0x7F) {
          out += c;
        } else {
          std::snprintf(hex, sizeof hex, "<%02X>", b);
          out += hex;
        }
      }
      out += "|\n";
    }
    return out;
  }
};

class TelnetdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    busybox_ = FindBusybox();
    if (busybox_.empty()) {
      GTEST_SKIP() << "no busybox with telnetd found (/bin/busybox, /usr/bin/busybox or on PATH); "
                      "install Debian's busybox-static to run the real-server tests";
    }
  }

  void TearDown() override {
    if (terminal_ != nullptr) terminal_->socket.Close();
    server_.Stop();
  }

  // Starts the server on a free port and connects to it. A port taken between asking and
  // binding ends the server at once: then another port is tried.
  bool StartAndConnect() {
    for (int attempt = 0; attempt < 5; ++attempt) {
      const uint16_t port = testing::RefusingPort();
      if (port == 0 || !server_.Start(busybox_, port)) continue;
      terminal_ = std::make_unique<Terminal>(port);
      const auto deadline = Clock::now() + kHangGuard;
      while (Clock::now() < deadline && !server_.Exited()) {
        const int error = terminal_->ConnectOnce();
        if (error == 0) return true;
        // Refused while the server is still starting up.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      server_.Stop();
    }
    return false;
  }

  std::string busybox_;
  TelnetServer server_;
  std::unique_ptr<Terminal> terminal_;
};

TEST_F(TelnetdTest, ShellOutputInEachHostEncodingShowsInShiftJis) {
  ASSERT_TRUE(StartAndConnect()) << "could not reach busybox telnetd on 127.0.0.1";
  Terminal& t = *terminal_;
  ASSERT_TRUE(t.PumpUntil([&] { return t.AtPrompt() || t.closed; })) << "no shell prompt; the screen:\n" << t.Dump();
  ASSERT_FALSE(t.closed) << "the server closed the connection; the screen:\n" << t.Dump();

  // 日本語 in code page 932.
  const std::string shown = "\x93\xFA\x96\x7B\x8C\xEA";
  struct Round {
    const char* name;
    HostEncoding encoding;
    std::string word;
  };
  const Round rounds[] = {
      {"EUC-JP", HostEncoding::EUC, "\xC6\xFC\xCB\xDC\xB8\xEC"},
      {"UTF-8", HostEncoding::UTF8, "\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E"},
  };
  for (const Round& round : rounds) {
    SCOPED_TRACE(round.name);
    t.session.SetHostEncoding(round.encoding);
    const int64_t before = t.CursorLine();
    t.connection.SendData("echo " + round.word);
    t.connection.SendChar('\r');
    // Done when two lines on, a new prompt follows a line that starts with the word: the
    // command line's own echo, then the command's output, then the prompt.
    const bool done = t.PumpUntil([&] {
      if (t.closed || t.CursorLine() < before + 2 || !t.AtPrompt()) return t.closed;
      const int32_t row = t.session.screen().state().cursorRow;
      return row >= 1 && t.Row(row - 1).compare(0, shown.size(), shown) == 0;
    });
    ASSERT_TRUE(done && !t.closed) << "no output of the command; the screen:\n" << t.Dump();
    const int32_t row = t.session.screen().state().cursorRow;
    EXPECT_EQ(t.Row(row - 1), shown) << "the output line; the screen:\n" << t.Dump();
    if (row >= 2) {
      EXPECT_EQ(t.Row(row - 2), std::string(kPrompt) + "echo " + shown) << "the command line; the screen:\n" << t.Dump();
    }
  }
}

// The server's shell is no root shell: it runs as the test's user, or as nobody for a test
// run as root.
TEST_F(TelnetdTest, ShellRunsAsAnUnprivilegedUser) {
  ASSERT_TRUE(StartAndConnect()) << "could not reach busybox telnetd on 127.0.0.1";
  Terminal& t = *terminal_;
  ASSERT_TRUE(t.PumpUntil([&] { return t.AtPrompt() || t.closed; }))
      << "no shell prompt; the screen:\n" << t.Dump();
  const int64_t before = t.CursorLine();
  t.connection.SendData("id -u");
  t.connection.SendChar('\r');
  const bool done = t.PumpUntil([&] { return t.closed || (t.CursorLine() >= before + 2 && t.AtPrompt()); });
  ASSERT_TRUE(done && !t.closed) << "no output of the command; the screen:\n" << t.Dump();
  const std::string uid = t.Row(t.session.screen().state().cursorRow - 1);
  EXPECT_EQ(uid, std::to_string(server_.shellUid())) << "the screen:\n" << t.Dump();
  EXPECT_NE(uid, "0");
}

}  // namespace
}  // namespace velmora
