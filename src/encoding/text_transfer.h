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
