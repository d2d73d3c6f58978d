#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmora {

// What is wrong with a host text that cannot be connected to as written.
enum class HostTextError {
  kNone,
  kEmptyHost,        // ":23", "[]", "[]:23": a port, but nothing to connect to
  kEmptyPort,        // "host:", "[::1]:": a colon with no port after it
  kPortZero,         // "host:0"
  kPortTooLarge,     // "host:65536"
  kPortNotNumber,    // "host:telnet", "host:+23", "host:２３": only ASCII digits make a port
  kExtraColon,       // "host:23:24": two or more colons, but no IPv6 address
  kUnclosedBracket,  // "[::1", "[::1:23"
  kAfterBracket,     // "[::1]23", "[::1]x": after "]" comes nothing or ":port"
};

// The place a host text names: the host (a name, an IPv4 or IPv6 address, without brackets)
// and the port, when the text gives one. Without a port the telnet service's port is used.
struct HostAddress {
  std::string host;
  std::optional<uint16_t> port;
};

struct HostTextParse {
  HostAddress address;
  HostTextError error = HostTextError::kNone;
};

// Reads a host text as the user typed it (command line, connection dialog, history):
//   host            a name or an IPv4 address; the telnet port
//   host:port       the same on port 1 to 65535, written in decimal digits
//   IPv6            an IPv6 address alone ("::1", "fe80::1%eth0"); the telnet port
//   [IPv6]          the same in brackets
//   [IPv6]:port     an IPv6 address with a port
// A text with two or more colons is an IPv6 address when it reads as one, and a mistake
// otherwise; so "::1:2323" is an address, and its port must be written "[::1]:2323". The text
// is kept byte for byte in the host (nothing is trimmed or folded), and an empty text stays an
// empty host, which the resolver turns down as it always did.
HostTextParse ParseHostText(std::string_view text);

// Whether a text is an IPv6 address in the textual form (eight groups of one to four hex digits,
// one "::" standing for a run of zero groups, the last 32 bits optionally as a dotted IPv4
// address), with an optional non-empty zone after "%".
bool IsIPv6AddressText(std::string_view text);

// Connection::ConnectToHost reports a host text it cannot read as one of these codes, apart
// from every code a socket reports (the system's error numbers and the resolver's codes).
inline constexpr int kHostTextErrorBase = -3000;
constexpr int HostTextErrorCode(HostTextError error) { return kHostTextErrorBase - static_cast<int>(error); }
// The error a code stands for; kNone for a code that is not one of them.
HostTextError HostTextErrorFromCode(int code);

}  // namespace velmora
