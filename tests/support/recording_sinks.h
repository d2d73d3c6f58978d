#pragma once
// The stand-ins the tests give the terminal for its trace, its reply and byte sinks and its
// window: ones that discard, ones that record, and the window's answer to the request for the
// live screen.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "emulation/trace_writer.h"
#include "encoding/byte_sink.h"
#include "screen/screen_model.h"
#include "screen/screen_observer.h"
#include "telnet/reply_sink.h"

namespace velmora::testing {

// Drops every trace record unread.
class NoTrace : public TraceWriter {
 protected:
  void WriteRecord(const char*, va_list) override {}
};

// Formats every record (so the trace tokens' formatting runs too) and throws it away.
class DiscardingTrace : public TraceWriter {
 protected:
  void WriteRecord(const char* format, va_list args) override {
    char buf[128];
    std::vsnprintf(buf, sizeof buf, format, args);
  }
};

// The trace as one string.
class RecordingTrace : public TraceWriter {
 public:
  std::string text;

 protected:
  void WriteRecord(const char* format, va_list args) override {
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n <= 0) return;
    std::string s(static_cast<size_t>(n) + 1, '\0');
    std::vsnprintf(s.data(), s.size(), format, args);
    s.resize(static_cast<size_t>(n));
    text += s;
  }
};

// The telnet replies, each on its own and all as one string.
class RecordingReplies : public ReplySink {
 public:
  std::vector<std::string> replies;
  std::string bytes;
  bool SendReply(std::string_view reply) override {
    replies.emplace_back(reply);
    bytes.append(reply);
    return true;
  }
};

// Keeps every byte with the path it took: 'B' for SendByte, 'C' for SendChar.
class RecordingSink : public ByteSink {
 public:
  void SendByte(uint8_t b) override { sent.push_back({'B', b}); }
  void SendChar(uint8_t b) override { sent.push_back({'C', b}); }

  struct Sent {
    char path;
    uint8_t byte;
    bool operator==(const Sent&) const = default;
  };
  std::vector<Sent> sent;
};

// Answers the request for the live screen as the main window does; allocates nothing.
class LiveObserver : public NullScreenObserver {
 public:
  ScreenModel* model = nullptr;
  void ShowLiveScreen() override { model->ScrollView(model->ViewBottom()); }
};

}  // namespace velmora::testing
