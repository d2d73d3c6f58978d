#include "app/command_line.h"

namespace velmora {
namespace {

constexpr size_t kHostNameLimit = 64;  // the host name buffer, NUL included

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '/'; }

// Compares ASCII letters without regard to case; other bytes must match exactly, so a byte of
// a double-byte character never equals a letter.
bool EqualsIgnoringCase(std::string_view text, std::string_view lowerWord) {
  if (text.size() != lowerWord.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != lowerWord[i]) return false;
  }
  return true;
}

void ApplyOption(char option, std::string_view value, LaunchOptions& options) {
  switch (option) {
    case 'c':
      if (EqualsIgnoringCase(value, "euc")) {
        options.hostEncoding = HostEncoding::EUC;
      } else if (EqualsIgnoringCase(value, "sjis")) {
        options.hostEncoding = HostEncoding::SJIS;
      } else if (EqualsIgnoringCase(value, "utf8")) {
        options.hostEncoding = HostEncoding::UTF8;
      }
      break;
    case 'h':
      if (value.size() < kHostNameLimit) options.hostName.assign(value);
      break;
    case 't':
      if (EqualsIgnoringCase(value, "vt52")) {
        options.terminalType = "vt52";
      } else if (EqualsIgnoringCase(value, "vt100")) {
        options.terminalType = "vt100";
      }
      break;
    default:
      break;
  }
}

}  // namespace

void ParseCommandLine(std::string_view commandLine, LaunchOptions& options) {
  char option = 0;  // the selected option in lower case, 0 for none
  size_t i = 0;
  while (i < commandLine.size()) {
    const char c = commandLine[i];
    if (c == '/') {
      // A slash always ends the selected option; only the byte right after it can start one.
      // Any other byte stays where it is, so "//H" still selects H with its second slash.
      option = 0;
      ++i;
      if (i < commandLine.size()) {
        char letter = commandLine[i];
        if (letter >= 'A' && letter <= 'Z') letter = static_cast<char>(letter - 'A' + 'a');
        if (letter == 'c' || letter == 'h' || letter == 't') {
          option = letter;
          ++i;
        }
      }
      continue;
    }
    if (c == ' ' || c == '\t') {
      ++i;
      continue;
    }
    const size_t start = i;
    while (i < commandLine.size() && !IsSeparator(commandLine[i])) ++i;
    if (option != 0) {
      ApplyOption(option, commandLine.substr(start, i - start), options);
      option = 0;
    }
  }
}

}  // namespace velmora
