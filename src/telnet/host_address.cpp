#include "telnet/host_address.h"

namespace velmora {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsHexDigit(char c) { return IsDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Four decimal parts of one to three digits, each at most 255.
bool IsDottedIPv4(std::string_view text) {
  int parts = 0;
  size_t start = 0;
  while (true) {
    const size_t dot = text.find('.', start);
    const std::string_view part = text.substr(start, dot == std::string_view::npos ? dot : dot - start);
    if (part.empty() || part.size() > 3) return false;
    int value = 0;
    for (const char c : part) {
      if (!IsDigit(c)) return false;
      value = value * 10 + (c - '0');
    }
    if (value > 255) return false;
    ++parts;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  return parts == 4;
}

// The number of 16-bit groups in a colon-separated run of hex groups, the last of which may be
// a dotted IPv4 address (two groups) when `ipv4Last`; -1 when the run is not one. An empty run
// has no groups.
int CountGroups(std::string_view run, bool ipv4Last) {
  if (run.empty()) return 0;
  int groups = 0;
  size_t start = 0;
  while (true) {
    const size_t colon = run.find(':', start);
    const std::string_view group = run.substr(start, colon == std::string_view::npos ? colon : colon - start);
    if (colon == std::string_view::npos && ipv4Last && group.find('.') != std::string_view::npos) {
      return IsDottedIPv4(group) ? groups + 2 : -1;
    }
    if (group.empty() || group.size() > 4) return -1;
    for (const char c : group) {
      if (!IsHexDigit(c)) return -1;
    }
    ++groups;
    if (colon == std::string_view::npos) return groups;
    start = colon + 1;
  }
}

// The port after a colon: decimal digits only, 1 to 65535.
HostTextParse WithPort(std::string_view host, std::string_view port) {
  HostTextParse result;
  if (port.empty()) {
    result.error = HostTextError::kEmptyPort;
    return result;
  }
  uint32_t value = 0;
  for (const char c : port) {
    if (!IsDigit(c)) {
      result.error = HostTextError::kPortNotNumber;
      return result;
    }
    if (value <= 65535) value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0) {
    result.error = HostTextError::kPortZero;
  } else if (value > 65535) {
    result.error = HostTextError::kPortTooLarge;
  } else {
    result.address = {std::string(host), static_cast<uint16_t>(value)};
  }
  return result;
}

HostTextParse Failure(HostTextError error) {
  HostTextParse result;
  result.error = error;
  return result;
}

}  // namespace

bool IsIPv6AddressText(std::string_view text) {
  if (const size_t percent = text.find('%'); percent != std::string_view::npos) {
    const std::string_view zone = text.substr(percent + 1);
    if (zone.empty() || zone.find_first_of("%:[]") != std::string_view::npos) return false;
    text = text.substr(0, percent);
  }
  const size_t gap = text.find("::");
  if (gap == std::string_view::npos) return CountGroups(text, true) == 8;
  if (text.find("::", gap + 1) != std::string_view::npos) return false;  // one "::" at most
  const int head = CountGroups(text.substr(0, gap), false);
  const int tail = CountGroups(text.substr(gap + 2), true);
  return head >= 0 && tail >= 0 && head + tail <= 7;
}

HostTextParse ParseHostText(std::string_view text) {
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find(']');
    if (close == std::string_view::npos) return Failure(HostTextError::kUnclosedBracket);
    const std::string_view host = text.substr(1, close - 1);
    if (host.empty()) return Failure(HostTextError::kEmptyHost);
    const std::string_view rest = text.substr(close + 1);
    if (rest.empty()) return HostTextParse{{std::string(host), std::nullopt}, HostTextError::kNone};
    if (rest.front() != ':') return Failure(HostTextError::kAfterBracket);
    return WithPort(host, rest.substr(1));
  }
  const size_t colon = text.find(':');
  if (colon == std::string_view::npos) return HostTextParse{{std::string(text), std::nullopt}, HostTextError::kNone};
  if (text.find(':', colon + 1) != std::string_view::npos) {
    if (IsIPv6AddressText(text)) return HostTextParse{{std::string(text), std::nullopt}, HostTextError::kNone};
    return Failure(HostTextError::kExtraColon);
  }
  if (colon == 0) return Failure(HostTextError::kEmptyHost);
  return WithPort(text.substr(0, colon), text.substr(colon + 1));
}

HostTextError HostTextErrorFromCode(int code) {
  const int index = kHostTextErrorBase - code;
  if (index <= static_cast<int>(HostTextError::kNone) || index > static_cast<int>(HostTextError::kAfterBracket)) {
    return HostTextError::kNone;
  }
  return static_cast<HostTextError>(index);
}

}  // namespace velmora
