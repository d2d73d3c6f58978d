#include "encoding/text_transfer.h"

#include <algorithm>

#include "encoding/code_converter.h"
#include "encoding/cp932.h"

namespace velmora {

namespace {

constexpr uint8_t kSingleShift2 = 0x8E;  // EUC-JP prefix of a half-width katakana byte
constexpr uint8_t kLineFeed = 0x0A;
constexpr char kUnconvertible = '?';

constexpr bool IsHalfWidthKana(uint8_t b) { return b >= 0xA1 && b <= 0xDF; }

// The text up to its first NUL.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

void AppendUtf8(std::string& out, uint8_t b1, uint8_t b2) {
  uint8_t p1 = b1, p2 = b2, p3 = 0;
  const int n = SjisToUtf8(p1, p2, p3);
  if (n <= 0) {
    out.push_back(kUnconvertible);
    return;
  }
  out.push_back(static_cast<char>(p1));
  out.push_back(static_cast<char>(p2));
  if (n == 3) out.push_back(static_cast<char>(p3));
}

std::string PasteToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (IsSjisLeadByte(b)) {
      if (i + 1 >= text.size()) {  // the trail was cut off
        out.push_back(kUnconvertible);
        break;
      }
      AppendUtf8(out, b, static_cast<uint8_t>(text[i + 1]));
      i += 2;
      continue;
    }
    if (IsHalfWidthKana(b)) {
      AppendUtf8(out, b, 0);
    } else if (b != kLineFeed) {
      out.push_back(static_cast<char>(b));
    }
    ++i;
  }
  return out;
}

std::string PasteToEuc(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (std::size_t i = 0; i < text.size();) {
    const auto b = static_cast<uint8_t>(text[i]);
    if (IsSjisLeadByte(b)) {
      if (i + 1 >= text.size()) {
        out.push_back(kUnconvertible);
        break;
      }
      uint8_t e1 = b, e2 = static_cast<uint8_t>(text[i + 1]);
      SjisToEuc(e1, e2);
      out.push_back(static_cast<char>(e1));
      out.push_back(static_cast<char>(e2));
      i += 2;
      continue;
    }
    if (IsHalfWidthKana(b)) {
      out.push_back(static_cast<char>(kSingleShift2));
      out.push_back(static_cast<char>(b));
    } else if (b != kLineFeed) {
      out.push_back(static_cast<char>(b));
    }
    ++i;
  }
  return out;
}

constexpr bool IsWordChar(uint16_t c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

constexpr bool InRange(uint16_t c, uint16_t low, uint16_t high) { return c >= low && c <= high; }

}  // namespace

void SendTypedKana(ByteSink& sink, HostEncoding encoding, uint8_t kana) {
  switch (encoding) {
    case HostEncoding::SJIS:
      sink.SendChar(kana);
      return;
    case HostEncoding::UTF8: {
      uint8_t p1 = kana, p2 = 0, p3 = 0;
      const int n = SjisToUtf8(p1, p2, p3);
      if (n <= 0) {  // not a character code page 932 knows: the byte as typed
        sink.SendChar(kana);
        return;
      }
      sink.SendChar(p1);
      sink.SendChar(p2);
      if (n == 3) sink.SendChar(p3);
      return;
    }
    default:
      sink.SendChar(kSingleShift2);
      sink.SendChar(kana);
      return;
  }
}

void SendTypedDoubleByte(ByteSink& sink, HostEncoding encoding, uint8_t trail, uint8_t lead) {
  uint8_t b1 = lead, b2 = trail, b3 = 0;
  switch (encoding) {
    case HostEncoding::SJIS:
      break;
    case HostEncoding::UTF8:
      // On failure b1 and b2 are left as the Shift-JIS bytes, which then go out unchanged.
      if (SjisToUtf8(b1, b2, b3) == 3) {
        sink.SendChar(b1);
        sink.SendChar(b2);
        sink.SendChar(b3);
        return;
      }
      break;
    default:
      SjisToEuc(b1, b2);
      break;
  }
  sink.SendChar(b1);
  sink.SendChar(b2);
}

std::string ConvertPasteText(std::string_view sjisText, HostEncoding encoding) {
  const std::string_view text = UpToNul(sjisText);
  switch (encoding) {
    case HostEncoding::SJIS: return std::string(text);
    case HostEncoding::UTF8: return PasteToUtf8(text);
    default: return PasteToEuc(text);
  }
}

namespace {

// Where the run of ASCII blanks that ends the text starts, or its size when it ends otherwise.
// The text is read by character: a lead byte and its trail are never blanks.
std::size_t TrailingBlankStart(std::span<const uint8_t> text) {
  const std::size_t n = text.size();
  std::size_t blankStart = n;
  bool blankOpen = false;
  for (std::size_t i = 0; i < n;) {
    const uint8_t b = text[i];
    if (IsSjisLeadByte(b)) {
      blankOpen = false;
      i += 2;
      continue;
    }
    if (b == ' ') {
      if (!blankOpen) blankStart = i;
      blankOpen = true;
    } else {
      blankOpen = false;
    }
    ++i;
  }
  return blankOpen ? blankStart : n;
}

}  // namespace

void AppendUnicodeAsCp932(std::string& out, uint16_t unicode) {
  const int32_t code = (unicode >= 0xD800 && unicode <= 0xDFFF) ? -1 : UnicodeToCp932(unicode);
  if (code < 0) {
    out.push_back(kUnconvertible);
    return;
  }
  if (code > 0xFF) out.push_back(static_cast<char>(code >> 8));
  out.push_back(static_cast<char>(code & 0xFF));
}

std::string CopyTrimmed(std::span<const uint8_t> source, std::size_t maxSize) {
  if (maxSize == 0) return {};
  const auto kept = source.first(std::min(TrailingBlankStart(source), maxSize - 1));
  const auto end = std::find(kept.begin(), kept.end(), uint8_t{0});
  // A cut at the size limit or at a NUL can end inside a run of blanks: none may remain.
  const auto cut = kept.first(static_cast<std::size_t>(end - kept.begin()));
  const auto trimmed = cut.first(TrailingBlankStart(cut));
  return std::string(trimmed.begin(), trimmed.end());
}

NormalizedSelection NormalizeSelection(int32_t c1, int32_t r1, int32_t c2, int32_t r2) {
  if (r1 == r2) return {std::min(c1, c2), r1, std::max(c1, c2), r1};
  if (r1 < r2) return {c1, r1, c2, r2};
  return {c2, r2, c1, r1};
}

int32_t ClassifyChar(uint16_t c) {
  if (c < 0x100) {
    if (IsWordChar(c)) return 1;
    if (InRange(c, 0xA6, 0xDF)) return 2;
    return 0;
  }
  if (InRange(c, 0x829F, 0x82F1)) return 3;
  if (InRange(c, 0x8340, 0x8396) || c == 0x815B) return 4;
  if (InRange(c, 0x8152, 0x815A) || InRange(c, 0x889F, 0xEAA4) || InRange(c, 0xED40, 0xEEEC) ||
      InRange(c, 0xFA5C, 0xFC4B)) {
    return 5;
  }
  if (InRange(c, 0x824F, 0x829A) || c == 0x8151) return 6;
  return 0;
}

WordBounds FindWordBounds(std::string_view line, int32_t column) {
  const std::string_view text = UpToNul(line);
  int32_t runClass = 0;
  uint16_t repeated = 0;  // the character a class-0 run repeats
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b = static_cast<uint8_t>(text[i]);
    // A lead byte that ends the text stands alone.
    const bool doubleByte = IsSjisLeadByte(b) && i + 1 < text.size();
    const uint16_t code = doubleByte ? static_cast<uint16_t>(b << 8 | static_cast<uint8_t>(text[i + 1])) : b;
    const int32_t charClass = ClassifyChar(code);
    const bool continues = charClass == runClass && (charClass != 0 || code == repeated);
    if (!continues) {
      if (static_cast<int64_t>(i) > column) break;
      start = i;
      runClass = charClass;
      repeated = code;
    }
    i += doubleByte ? 2 : 1;
  }
  return {static_cast<int32_t>(start), static_cast<int32_t>(i), runClass};
}

}  // namespace velmora
