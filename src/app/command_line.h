#pragma once
#include <string>
#include <string_view>

#include "encoding/host_encoding.h"

namespace velmora {

// What the command line may set before the window opens.
struct LaunchOptions {
  std::string hostName;  // at most 63 bytes; empty: no connection at start-up
  HostEncoding hostEncoding = HostEncoding::EUC;
  std::string terminalType = "vt100";  // "vt100" or "vt52"
};

// Reads the options /C encoding, /H host and /T type from the program's argument text (without
// the program's own name; a front-end that gets an argument list joins it with blanks) and
// updates `options` with each accepted value; everything else in the text is ignored.
//
// Blanks, TABs and slashes separate words; every other byte, including 0x80 to 0xFF, belongs to
// a word, and quotation marks mean nothing. A slash followed by C, H or T (either case) selects
// that option, and the next word is its value, glued to the letter (/Hhost) or after blanks and
// tabs (/H host). A slash that ends a value starts the next option (/Hhost/Tvt52). After its
// value an option is done, so further words up to the next slash are ignored, as are words
// before the first option. An option that never finds its value has no effect, and a repeated
// option overrides the earlier one.
//   /C  EUC, SJIS or UTF8, in any case, nothing longer (UTF-8 is not accepted)
//   /H  any word shorter than 64 bytes, kept as typed; a longer one is ignored
//   /T  vt52 or vt100, in any case, stored in lower case
// A value that is not accepted leaves the setting as it was.
void ParseCommandLine(std::string_view commandLine, LaunchOptions& options);

}  // namespace velmora
