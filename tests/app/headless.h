#pragma once
// The main window's logic in a headless window with a real socket, with a LoopbackHost on
// 127.0.0.1 as the peer that plays the host: what the terminal sends is read back, what the
// host says is sent from here.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "screen/screen_test_support.h"
#include "app/main_window.h"
#include "platform/posix/posix_socket.h"
#include "recording_window.h"
#include "support/memory_store.h"
#include "support/loopback_host.h"

namespace velmora::testing {

// The terminal in a headless window; the socket's events go to the window's logic.
template <class Window>
struct HeadlessOf {
  explicit HeadlessOf(std::optional<uint16_t> port = std::nullopt) : socket(port), logic(window, socket, store, 4242) {
    window.logic = &logic;
  }
  // Polls until `done` holds (bounded). `peer`, when given, reads what the terminal sends on
  // every round, so that output larger than the socket buffers can drain.
  bool PumpUntil(const std::function<bool()>& done, LoopbackHost* peer = nullptr) {
    return testing::PumpUntil(done, [&] {
      if (!socket.PollOnce(peer != nullptr ? 2 : 20)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (peer != nullptr) peer->ReadAvailable();
      return true;
    });
  }
  // Screen row r without its trailing blanks.
  std::string Row(int r) {
    const TerminalLine* l = logic.screen().ScreenLine(r);
    std::string s(reinterpret_cast<const char*>(l->text()), static_cast<size_t>(l->width));
    return s.erase(s.find_last_not_of(' ') + 1);
  }

  MemoryStore store;
  Window window;
  PosixSocket socket;
  MainWindow logic;
};

using Headless = HeadlessOf<RecordingWindow>;

}  // namespace velmora::testing
