#pragma once
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "encoding/byte_sink.h"
#include "encoding/host_encoding.h"

namespace velmora {

// Text crossing between the user, the screen, the clipboard and the host. All text here is
// internal Shift-JIS, and a double-byte character is always recognised by the code page 932
// lead-byte test, whatever the host speaks.

// A typed half-width katakana byte (0xA1-0xDF) in the host's encoding, through SendChar:
// SJIS the byte, UTF8 its three-byte form, EUC (and anything else) 0x8E then the byte.
void SendTypedKana(ByteSink& sink, HostEncoding encoding, uint8_t kana);

// A double-byte character from the input method, handed over trail first. Sent lead first in
// the host's encoding through SendChar; for a UTF8 host a character code page 932 cannot
// convert goes out as its two Shift-JIS bytes.
void SendTypedDoubleByte(ByteSink& sink, HostEncoding encoding, uint8_t trail, uint8_t lead);

// Clipboard text (Shift-JIS; it ends at the first NUL if it holds one) in the host's encoding,
// ready to send as it is. SJIS keeps the text and its CR LF line ends. UTF8 and EUC drop every
// line feed, so CR LF reaches the host as CR, and convert double-byte characters and half-width
// katakana; all other bytes pass unchanged. A double-byte character that has no UTF-8 form,
// and a lead byte that ends the text, become one '?' each. Throws std::bad_alloc when memory
// for the result (up to three times the text) runs out; the paste is then abandoned.
std::string ConvertPasteText(std::string_view sjisText, HostEncoding encoding);

// Text from the desktop (typed, committed by the input method, pasted, entered in a dialog) as
// code page 932. A character that code page 932 has no form for becomes '?', as the system's own
// conversion of clipboard text does, so that the user sees where something was replaced: a
// surrogate pair (a character beyond the 16-bit range) becomes one '?', and so does a lone
// surrogate. `Unit` is the platform's 16-bit code unit (char16_t, Qt's, or Windows' wchar_t).
void AppendUnicodeAsCp932(std::string& out, uint16_t unicode);
template <typename Unit>
  requires(sizeof(Unit) == 2)
std::string Utf16ToCp932(const Unit* units, std::size_t count) {
  std::string out;
  out.reserve(count * 2);
  for (std::size_t i = 0; i < count; ++i) {
    const auto unit = static_cast<uint16_t>(units[i]);
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < count) {
      const auto next = static_cast<uint16_t>(units[i + 1]);
      if (next >= 0xDC00 && next <= 0xDFFF) ++i;  // the pair is one character
    }
    AppendUnicodeAsCp932(out, unit);
  }
  return out;
}

// A line segment for the clipboard: at most maxSize - 1 bytes of source (nothing when maxSize
// is 0), without trailing ASCII spaces and cut short at a NUL of the source. A double-byte
// character is never taken for a space, so a trailing full-width space stays.
std::string CopyTrimmed(std::span<const uint8_t> source, std::size_t maxSize);

// The two end points of a selection in reading order (on one row, left to right).
struct NormalizedSelection {
  int32_t startCol;
  int32_t startRow;
  int32_t endCol;
  int32_t endRow;
};
NormalizedSelection NormalizeSelection(int32_t c1, int32_t r1, int32_t c2, int32_t r2);

// Word-selection classes: 0 anything else (a run of it only continues while the same character
// repeats), 1 ASCII letters, digits and '_', 2 half-width katakana 0xA6-0xDF, 3 hiragana,
// 4 katakana and the prolonged sound mark, 5 kanji and kanji-like marks, 6 full-width digits,
// letters and low line. code is a single byte or lead * 256 + trail.
int32_t ClassifyChar(uint16_t code);

// The run of same-class characters around a column, for double-click selection: start and end
// (exclusive) byte columns and the run's class. A run beginning exactly at column is the one
// chosen; a column beyond the text gives the last run. The text ends at its first NUL if any.
struct WordBounds {
  int32_t start;
  int32_t end;
  int32_t charClass;
};
WordBounds FindWordBounds(std::string_view text, int32_t column);

}  // namespace velmora
