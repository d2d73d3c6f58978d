#include "telnet/telnet_negotiator.h"

#include <cstdlib>
#include <string>

namespace velmora {

namespace {

// The trace name of an option, or null when it is traced by its number.
const char* OptionName(uint8_t option) {
  switch (option) {
    case kTelOptEcho: return "TELOPT_ECHO";
    case kTelOptSga: return "TELOPT_SGA";
    case kTelOptTtype: return "TELOPT_TTYPE";
    case kTelOptNaws: return "TELOPT_NAWS";
    case kTelOptXdisploc: return "TELOPT_XDISPLOC";
    case kTelOptOldEnviron: return "TELOPT_OLD_ENVIRON";
    case kTelOptNewEnviron: return "TELOPT_NEW_ENVIRON";
    default: return nullptr;
  }
}

bool IsEnvironOption(uint8_t option) {
  return option == kTelOptOldEnviron || option == kTelOptNewEnviron;
}

}  // namespace

// Each handler traces the option as received, sends its reply and traces the reply. An option
// the handler has a rule for is traced by name, any other by number.
bool TelnetNegotiator::Reply(uint8_t verb, uint8_t option) {
  const char reply[] = {static_cast<char>(kTelIac), static_cast<char>(verb), static_cast<char>(option)};
  const bool taken = out_.SendReply(std::string_view(reply, sizeof reply));
  stream_.EndSequence();
  return taken;
}

bool TelnetNegotiator::ReplyOnChange(std::bitset<256>& side, uint8_t option, bool enable,
                                     uint8_t verb) {
  if (side.test(option) == enable) {
    stream_.EndSequence();
    return false;
  }
  // A reply the connection refused (too much output waits) changed nothing on the host's side.
  if (Reply(verb, option)) side.set(option, enable);
  return true;
}

void TelnetNegotiator::OnDo(uint8_t option) {
  const bool known = option == kTelOptEcho || option == kTelOptTtype || option == kTelOptNaws ||
                     option == kTelOptXdisploc || IsEnvironOption(option);
  if (!known) {
    trace_.Trace("[%03d]\n", option);
    Reply(kTelWont, option);
    trace_.Trace("<IAC><WONT><%03d>\n", option);
    return;
  }
  trace_.Trace("[%s]\n", OptionName(option));
  if (option == kTelOptEcho) localEcho = true;
  if (IsEnvironOption(option)) {
    // Only the first environment option asked for on a connection is offered.
    const EnvironOption asked = option == kTelOptOldEnviron ? EnvironOption::Old : EnvironOption::New;
    if (environOption != EnvironOption::None && environOption != asked) {
      Reply(kTelWont, option);
      trace_.Trace("<IAC><WONT><%s>\n", OptionName(option));
      return;
    }
    environOption = asked;
  }
  if (!ReplyOnChange(terminalWill_, option, true, kTelWill)) return;
  trace_.Trace("<IAC><WILL><%s>\n", OptionName(option));
  if (option == kTelOptNaws) SendWindowSize();
}

void TelnetNegotiator::OnWill(uint8_t option) {
  if (option == kTelOptEcho || option == kTelOptSga) {
    trace_.Trace("[%s]\n", OptionName(option));
    if (option == kTelOptEcho) localEcho = false;  // the host echoes
    if (ReplyOnChange(hostDo_, option, true, kTelDo)) {
      trace_.Trace("<IAC><DO><%s>\n", OptionName(option));
    }
    return;
  }
  trace_.Trace("[%03d]\n", option);
  Reply(kTelDont, option);
  trace_.Trace("<IAC><DONT><%03d>\n", option);
}

// DONT and WONT are answered only when they end an option that was agreed; for any other
// option the answer would confirm a state already in effect.
void TelnetNegotiator::OnDont(uint8_t option) {
  if (option == kTelOptEcho) {
    trace_.Trace("[TELOPT_ECHO]\n");
    localEcho = false;
    if (ReplyOnChange(terminalWill_, option, false, kTelWont)) {
      trace_.Trace("<IAC><WONT><TELOPT_ECHO>\n");
    }
    return;
  }
  trace_.Trace("[%03d]\n", option);
  if (ReplyOnChange(terminalWill_, option, false, kTelWont)) {
    trace_.Trace("<IAC><WONT><%03d>\n", option);
  }
}

void TelnetNegotiator::OnWont(uint8_t option) {
  if (option == kTelOptEcho) {
    trace_.Trace("[TELOPT_ECHO]\n");
    localEcho = true;
    if (ReplyOnChange(hostDo_, option, false, kTelDont)) {
      trace_.Trace("<IAC><DONT><TELOPT_ECHO>\n");
    }
    return;
  }
  trace_.Trace("[%03d]\n", option);
  if (ReplyOnChange(hostDo_, option, false, kTelDont)) {
    trace_.Trace("<IAC><DONT><%03d>\n", option);
  }
}

// Sequence buffer byte 1 holds the option, byte 2 the countdown. The environment options take
// any number of bytes up to IAC and one more; every other option exactly three (normally SEND,
// IAC, SE), whatever they are.
void TelnetNegotiator::OnSubnegotiation(uint8_t b) {
  auto& buf = stream_.sequenceBuffer;
  uint8_t& option = buf[1];
  uint8_t& countdown = buf[2];
  if (option == 0) {
    // An option code of 0 cannot be told from none yet: the next byte is taken as the option.
    const uint8_t stored = b;
    const bool named = stored == kTelOptTtype || stored == kTelOptNaws || stored == kTelOptXdisploc ||
                       IsEnvironOption(stored);
    if (named) trace_.Trace("[%s]", OptionName(stored)); else trace_.Trace("[%03d]", stored);
    option = stored;
    countdown = 3;
    return;
  }
  if (IsEnvironOption(option)) {
    switch (countdown) {
      case 3:
        trace_.Trace("[%03d]", b);
        countdown = 2;
        return;
      case 2:
        if (b == kTelIac) {
          trace_.Trace("[IAC]");
          countdown = 1;
        } else {
          trace_.Trace("[%03d]", b);
        }
        return;
      default:
        // The command is over before its answer is made, so that an answer that cannot be
        // made (no memory for it) leaves the stream reading text.
        trace_.Trace("[SE]\n");
        stream_.EndSequence();
        SendEnvironIs(option);
        return;
    }
  }
  --countdown;
  if (countdown == 2) {
    trace_.Trace("[%03d]", b);
  } else if (countdown == 1) {
    trace_.Trace("[IAC]");
  } else {
    trace_.Trace("[SE]\n");
    stream_.EndSequence();
    switch (option) {
      case kTelOptTtype: SendTerminalType(); break;
      case kTelOptXdisploc: SendDisplayLocation(); break;
      case kTelOptNaws: SendWindowSize(); break;
      default: SendGenericIs(option); break;
    }
  }
}

// IAC SB option IS, the text, IAC SE.
void TelnetNegotiator::SendSubnegotiationIs(uint8_t option, std::string_view text) {
  std::string reply = {static_cast<char>(kTelIac), static_cast<char>(kTelSb), static_cast<char>(option), 0};
  reply.append(text);
  reply.push_back(static_cast<char>(kTelIac));
  reply.push_back(static_cast<char>(kTelSe));
  out_.SendReply(reply);
}

// Columns then rows, each as two bytes, high byte first; a byte 255 is doubled so that the
// host never reads a size as IAC.
void TelnetNegotiator::SendWindowSize() {
  const auto [rows, columns] = screen_.GridSize();
  std::string reply = {static_cast<char>(kTelIac), static_cast<char>(kTelSb), static_cast<char>(kTelOptNaws)};
  for (const uint16_t value : {columns, rows}) {
    for (const auto byte : {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value & 0xFF)}) {
      reply.push_back(static_cast<char>(byte));
      if (byte == kTelIac) reply.push_back(static_cast<char>(kTelIac));
    }
  }
  reply.push_back(static_cast<char>(kTelIac));
  reply.push_back(static_cast<char>(kTelSe));
  out_.SendReply(reply);
  trace_.Trace("<IAC><SB><TELOPT_NAWS><%d,%d><IAC><SE>\n", columns, rows);
}

void TelnetNegotiator::SendTerminalType() {
  SendSubnegotiationIs(kTelOptTtype, options_.terminalType);
  trace_.Trace("<IAC><SB><TELOPT_TTYPE><TELQUAL_IS><%s>", options_.terminalType.c_str());
  trace_.Trace("<IAC><SE>\n");
}

void TelnetNegotiator::SendDisplayLocation() {
  const char* display = std::getenv("DISPLAY");
  const std::string text = display != nullptr ? display : ":0.0";
  SendSubnegotiationIs(kTelOptXdisploc, text);
  trace_.Trace("<IAC><SB><TELOPT_XDISPLOC><TELQUAL_IS><%s>", text.c_str());
  trace_.Trace("<IAC><SE>\n");
}

// The environment reply carries no variables.
void TelnetNegotiator::SendEnvironIs(uint8_t option) {
  SendSubnegotiationIs(option, {});
  trace_.Trace("<IAC><SB><%s><TELQUAL_IS>", OptionName(option));
  trace_.Trace("<IAC><SE>\n");
}

void TelnetNegotiator::SendGenericIs(uint8_t option) {
  SendSubnegotiationIs(option, {});
  trace_.Trace("<IAC><SB><%03d><TELQUAL_IS>", option);
  trace_.Trace("<IAC><SE>\n");
}

void TelnetNegotiator::Reset() {
  localEcho = true;
  environOption = EnvironOption::None;
  terminalWill_.reset();
  hostDo_.reset();
}

}  // namespace velmora
