#pragma once
#include <bitset>
#include <cstdint>
#include <string_view>

#include "emulation/stream_state.h"
#include "emulation/terminal_options.h"
#include "emulation/trace_writer.h"
#include "screen/screen_model.h"
#include "telnet/reply_sink.h"

namespace velmora {

// Telnet option codes and commands the terminal knows.
enum TelnetCode : uint8_t {
  kTelOptEcho = 1,
  kTelOptSga = 3,
  kTelOptTtype = 24,
  kTelOptNaws = 31,
  kTelOptXdisploc = 35,
  kTelOptOldEnviron = 36,
  kTelOptNewEnviron = 39,
  kTelSe = 240,
  kTelSb = 250,
  kTelWill = 251,
  kTelWont = 252,
  kTelDo = 253,
  kTelDont = 254,
  kTelIac = 255,
};

// The environment option accepted on this connection.
enum class EnvironOption : int32_t { None = -1, Old = 1, New = 2 };

// Answers the host's option requests with a fixed policy and never opens a negotiation itself:
// it accepts ECHO and SUPPRESS-GO-AHEAD from the host, and offers ECHO, TERMINAL-TYPE, NAWS,
// X-DISPLAY-LOCATION and the first environment option asked for; everything else is refused.
// A request to enter a state already in effect is not answered, so a peer that acknowledges
// every answer cannot make the two sides loop; refusals are answered every time. The
// receive pipeline hands it the byte after
// IAC DO, DONT, WILL or WONT, and every byte after IAC SB; each handler ends the command by
// setting the receive state back to text.
class TelnetNegotiator {
 public:
  TelnetNegotiator(StreamState& stream, TraceWriter& trace, const TerminalOptions& options,
                   const ScreenModel& screen, ReplySink& out)
      : stream_(stream), trace_(trace), options_(options), screen_(screen), out_(out) {}

  void OnDo(uint8_t option);
  void OnDont(uint8_t option);
  void OnWill(uint8_t option);
  void OnWont(uint8_t option);
  void OnSubnegotiation(uint8_t b);

  // The window-size report: also sent when the user changes the grid during a connection.
  void SendWindowSize();
  void SendTerminalType();
  void SendDisplayLocation();
  void SendEnvironIs(uint8_t option);
  void SendGenericIs(uint8_t option);

  // The connection closed: echo locally again, forget the environment option and every
  // option agreed on either side.
  void Reset();

  bool localEcho = true;  // typed characters are also written to the screen
  EnvironOption environOption = EnvironOption::None;

 private:
  // Sends IAC, verb, option and ends the command; false when the connection refused the reply.
  bool Reply(uint8_t verb, uint8_t option);
  void SendSubnegotiationIs(uint8_t option, std::string_view text);
  // Sends the reply unless `enable` is the state the option already has on that side, and
  // records the new state once the reply is taken; false, with the command ended and nothing
  // sent, when there is no change to answer.
  bool ReplyOnChange(std::bitset<256>& side, uint8_t option, bool enable, uint8_t verb);

  std::bitset<256> terminalWill_;  // options the terminal has agreed to perform (WILL sent)
  std::bitset<256> hostDo_;        // options the host has been told to perform (DO sent)

  StreamState& stream_;
  TraceWriter& trace_;
  const TerminalOptions& options_;
  const ScreenModel& screen_;
  ReplySink& out_;
};

}  // namespace velmora
