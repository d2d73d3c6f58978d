// The host text as the user types it: a host, a port after a colon, IPv6 addresses bare or in
// brackets, and every malformed form refused with its own reason instead of a connect.
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "telnet/host_address.h"

namespace velmora {
namespace {

using E = HostTextError;
constexpr std::nullopt_t kTelnetPort = std::nullopt;

TEST(HostText, FormsAndFailures) {
  const struct {
    std::string text;
    E error;
    std::string host;  // when there is no error
    std::optional<uint16_t> port;
  } cases[] = {
      // Without a port: the text is the host, byte for byte.
      {"bbs.example.jp", E::kNone, "bbs.example.jp", kTelnetPort},
      {"192.0.2.1", E::kNone, "192.0.2.1", kTelnetPort},
      {"", E::kNone, "", kTelnetPort},  // left to the resolver, as before
      {" host ", E::kNone, " host ", kTelnetPort},
      {"\x83\x7a\x83\x58\x83\x67", E::kNone, "\x83\x7a\x83\x58\x83\x67", kTelnetPort},  // code page 932
      // A port.
      {"host:2323", E::kNone, "host", 2323},
      {"127.0.0.1:1", E::kNone, "127.0.0.1", 1},
      {"host:65535", E::kNone, "host", 65535},
      {"host:0023", E::kNone, "host", 23},
      {"host:00000000000000000065535", E::kNone, "host", 65535},
      // IPv6 addresses alone are addresses, never a host and a port.
      {"::1", E::kNone, "::1", kTelnetPort},
      {"::", E::kNone, "::", kTelnetPort},
      {"::1:2323", E::kNone, "::1:2323", kTelnetPort},
      {"fe80::1%eth0", E::kNone, "fe80::1%eth0", kTelnetPort},
      {"2001:db8:0:0:0:0:0:1", E::kNone, "2001:db8:0:0:0:0:0:1", kTelnetPort},
      {"2001:DB8::ABCD", E::kNone, "2001:DB8::ABCD", kTelnetPort},
      {"::ffff:192.0.2.1", E::kNone, "::ffff:192.0.2.1", kTelnetPort},
      {"1:2:3:4:5:6:192.0.2.1", E::kNone, "1:2:3:4:5:6:192.0.2.1", kTelnetPort},
      {"1::", E::kNone, "1::", kTelnetPort},
      // Brackets, with and without a port.
      {"[::1]", E::kNone, "::1", kTelnetPort},
      {"[::1]:2323", E::kNone, "::1", 2323},
      {"[fe80::1%eth0]:23", E::kNone, "fe80::1%eth0", 23},
      {"[127.0.0.1]:4000", E::kNone, "127.0.0.1", 4000},
      // Nothing to connect to.
      {":23", E::kEmptyHost, "", {}},
      {":", E::kEmptyHost, "", {}},
      {"[]", E::kEmptyHost, "", {}},
      {"[]:23", E::kEmptyHost, "", {}},
      // The port.
      {"host:", E::kEmptyPort, "", {}},
      {"[::1]:", E::kEmptyPort, "", {}},
      {"host:0", E::kPortZero, "", {}},
      {"host:000", E::kPortZero, "", {}},
      {"[::1]:0", E::kPortZero, "", {}},
      {"host:65536", E::kPortTooLarge, "", {}},
      {"host:99999999999999999999", E::kPortTooLarge, "", {}},
      {"[::1]:70000", E::kPortTooLarge, "", {}},
      {"host:telnet", E::kPortNotNumber, "", {}},
      {"host:23a", E::kPortNotNumber, "", {}},
      {"host:+23", E::kPortNotNumber, "", {}},
      {"host:-1", E::kPortNotNumber, "", {}},
      {"host: 23", E::kPortNotNumber, "", {}},
      {"host:23 ", E::kPortNotNumber, "", {}},
      {"host:\x82\x51\x82\x52", E::kPortNotNumber, "", {}},  // full-width digits
      {"[::1]:23:24", E::kPortNotNumber, "", {}},
      // Two colons that make no IPv6 address.
      {"host:23:24", E::kExtraColon, "", {}},
      {"a::b::c", E::kExtraColon, "", {}},
      {":::", E::kExtraColon, "", {}},
      {"1:2:3:4:5:6:7", E::kExtraColon, "", {}},    // seven groups and no "::"
      {"1:2:3:4:5:6:7:8:9", E::kExtraColon, "", {}},
      {"1::2:3:4:5:6:7:8", E::kExtraColon, "", {}},  // "::" must stand for a group at least
      {"12345::1", E::kExtraColon, "", {}},
      {"::1%", E::kExtraColon, "", {}},              // an empty zone
      {"::192.0.2.256", E::kExtraColon, "", {}},
      {"::1.2.3", E::kExtraColon, "", {}},
      {"1.2.3.4::", E::kExtraColon, "", {}},         // a dotted part only at the end
      {"::1]:23", E::kExtraColon, "", {}},
      // Brackets.
      {"[::1", E::kUnclosedBracket, "", {}},
      {"[::1:23", E::kUnclosedBracket, "", {}},
      {"[", E::kUnclosedBracket, "", {}},
      {"[::1]23", E::kAfterBracket, "", {}},
      {"[::1]x", E::kAfterBracket, "", {}},
      {"[::1] :23", E::kAfterBracket, "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    const HostTextParse parsed = ParseHostText(c.text);
    EXPECT_EQ(parsed.error, c.error);
    if (c.error == E::kNone) {
      EXPECT_EQ(parsed.address.host, c.host);
      EXPECT_EQ(parsed.address.port, c.port);
    }
  }
}

TEST(HostText, ErrorCodesStandApartFromSocketCodes) {
  for (int e = static_cast<int>(E::kEmptyHost); e <= static_cast<int>(E::kAfterBracket); ++e) {
    const int code = HostTextErrorCode(static_cast<E>(e));
    EXPECT_LT(code, -2000) << e;  // below the POSIX socket's resolver codes, never an errno or a Winsock code
    EXPECT_EQ(HostTextErrorFromCode(code), static_cast<E>(e));
  }
  for (const int code : {0, 1, 10061, -1, -1002, kHostTextErrorBase, kHostTextErrorBase - 9, -3100}) {
    EXPECT_EQ(HostTextErrorFromCode(code), E::kNone) << code;
  }
}

}  // namespace
}  // namespace velmora
