#include "emulation/key_encoder.h"
#include "support/recording_sinks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

using testing::RecordingSink;

std::vector<RecordingSink::Sent> AsKeyBytes(const std::string& bytes) {
  std::vector<RecordingSink::Sent> out;
  for (const char c : bytes) out.push_back({'B', static_cast<uint8_t>(c)});
  return out;
}

constexpr uint32_t kHome = 0x24;
constexpr uint32_t kDelete = 0x2E;
constexpr uint32_t kF5 = 0x74;
constexpr uint32_t kLetterA = 0x41;
// Key-down parameter word with a repeat count, scan code and the extended-key bit set, as a
// Shift+arrow press delivers it; the sequence must not change.
constexpr uint32_t kExtendedKeyData = 0x014B0001;

TEST(KeyEncoder, SequencesPerTerminalType) {
  const struct {
    const char* terminalType;
    uint32_t key;
    int handled;
    std::string bytes;
  } cases[] = {
      {"vt100", kVkUp, 1, "\x1BOA"},     {"vt100", kVkDown, 1, "\x1BOB"},
      {"vt100", kVkRight, 1, "\x1BOC"},  {"vt100", kVkLeft, 1, "\x1BOD"},
      {"vt100", kVkF1, 1, "\x1BOP"},     {"vt100", kVkF2, 1, "\x1BOQ"},
      {"vt100", kVkF3, 1, "\x1BOR"},     {"vt100", kVkF4, 1, "\x1BOS"},
      {"vt100", kHome, 0, ""},           {"vt100", kDelete, 0, ""},
      {"vt100", kF5, 0, ""},             {"vt100", kLetterA, 0, ""},
      {"vt52", kVkUp, 1, "\x1B" "A"},    {"vt52", kVkDown, 1, "\x1B" "B"},
      {"vt52", kVkRight, 1, "\x1B" "C"}, {"vt52", kVkLeft, 1, "\x1B" "D"},
      {"vt52", kVkF1, 0, ""},            {"vt52", kVkF2, 0, ""},
      {"vt52", kVkF3, 0, ""},            {"vt52", kVkF4, 0, ""},
      {"vt52", kHome, 0, ""},            {"vt52", kDelete, 0, ""},
  };
  for (const auto& c : cases) {
    for (const uint32_t keyData : {0u, kExtendedKeyData}) {
      TerminalOptions options;
      options.terminalType = c.terminalType;
      RecordingSink sink;
      EXPECT_EQ(EncodeKey(sink, options, c.key, keyData), c.handled) << c.terminalType << " key " << c.key;
      EXPECT_EQ(sink.sent, AsKeyBytes(c.bytes)) << c.terminalType << " key " << c.key;
    }
  }
}

TEST(KeyEncoder, TerminalTypeIsReadOnEveryPress) {
  TerminalOptions options;
  RecordingSink sink;
  const struct {
    const char* terminalType;
    uint32_t key;
    int handled;
    std::string bytes;  // all bytes sent so far
  } presses[] = {
      {"vt100", kVkUp, 1, "\x1BOA"},
      {"vt52", kVkUp, 1, "\x1BOA\x1B" "A"},
      {"vt52", kVkF1, 0, "\x1BOA\x1B" "A"},
      {"vt100", kVkF1, 1, "\x1BOA\x1B" "A\x1BOP"},
  };
  for (const auto& p : presses) {
    options.terminalType = p.terminalType;
    EXPECT_EQ(EncodeKey(sink, options, p.key, 0), p.handled) << p.terminalType << " key " << p.key;
    EXPECT_EQ(sink.sent, AsKeyBytes(p.bytes)) << p.terminalType << " key " << p.key;
  }
}

}  // namespace
}  // namespace velmora
