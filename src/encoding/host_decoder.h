#pragma once
#include <cstddef>
#include <cstdint>
#include <span>

#include "encoding/cp932.h"
#include "encoding/host_encoding.h"

namespace velmora {

// Assembles the multi-byte characters of the host encoding (EUC-JP, Shift-JIS, UTF-8, or JIS
// X 0208 pairs while the kanji shift is in) from received bytes and converts each to code page
// 932. It holds only the bytes of the character under way; which bytes reach it (text, not
// controls, escapes or telnet commands) is the receive pipeline's business.
class HostDecoder {
 public:
  // What a byte made of the character under way.
  struct Result {
    enum class Kind : uint8_t {
      Pending,         // more bytes are needed
      Single,          // `first` is a single-byte code page 932 character
      Double,          // `first` and `second` are a double-byte code page 932 character
      VoicedMark,      // the combining voiced sound mark, which modifies the kana before it
      SemiVoicedMark,  // the combining semi-voiced sound mark
      NoForm,          // a character code page 932 cannot show; raw() holds its host bytes
    };
    // Three bytes, so that it travels in a register: the receive path makes one per character.
    Kind kind = Kind::Pending;
    uint8_t first = 0;
    uint8_t second = 0;
  };

  // Whether b starts a double-byte (or longer) character: every byte while the kanji shift is
  // in, otherwise by the host encoding. The four-byte UTF-8 leads are not among them.
  static bool IsLeadByte(uint8_t b, HostEncoding encoding, bool kanjiMode) {
    if (kanjiMode) return true;
    switch (encoding) {
      case HostEncoding::SJIS:
        return IsSjisLeadByte(b);
      case HostEncoding::UTF8:
        return b >= 0xC0 && b <= 0xEF;
      default:
        return b == 0x8E || (b >= 0xA1 && b <= 0xFE);
    }
  }
  static bool IsLongUtf8Lead(uint8_t b) { return b >= 0xF0 && b <= 0xF4; }

  // The double-byte characters that begin `bytes`, read as the byte-by-byte assembly completes
  // them while nothing is under way: JIS X 0208 pairs (both bytes 0x21-0x7E) while the kanji
  // shift is in, otherwise EUC-JP pairs (both bytes 0xA1-0xFE), Shift-JIS pairs (a lead byte and
  // a trail byte 0x40-0x7E or 0x80-0xFC), or UTF-8 sequences of two or three bytes whose
  // character has a code page 932 double-byte form. Their code page 932 bytes go to `out`, two
  // per character, at most `maxChars` characters. The scan stops before anything else: another
  // kind of character, a control byte, IAC, a character the bytes end inside. The decoder's
  // state is neither read nor changed.
  struct DoubleRun {
    size_t bytes = 0;       // host bytes taken
    size_t characters = 0;  // characters written to `out`
  };
  static DoubleRun DecodeDoubleRun(const uint8_t* bytes, size_t size, HostEncoding encoding, bool kanjiMode,
                                   uint8_t* out, size_t maxChars);

  uint8_t pendingLead() const { return pendingLead_; }
  // The host bytes of the last sound mark or character without a code page 932 form.
  std::span<const uint8_t> raw() const { return {raw_, rawCount_}; }
  uint8_t utf8Middle() const { return utf8Middle_; }
  int heldLongBytes() const { return longCount_; }

  void BeginLead(uint8_t lead) { pendingLead_ = lead; }
  // Completes the character begun by the pending lead with b (any byte but a control or IAC).
  Result CompleteLead(uint8_t b, HostEncoding encoding, bool kanjiMode);

  void BeginLong(uint8_t lead) {
    longBytes_[0] = lead;
    longCount_ = 1;
  }
  // Gathers a four-byte UTF-8 character; `out` says when it is complete. False when b does not
  // continue it: b is not taken, and the bytes held are left for TakeLong.
  bool GatherLong(uint8_t b, Result& out);
  // Gives back the bytes of a four-byte character that broke off (single-byte characters after
  // all) and forgets them; returns how many.
  int TakeLong(uint8_t (&bytes)[3]);

 private:
  uint8_t pendingLead_ = 0;  // lead byte waiting for its second byte
  uint8_t utf8Middle_ = 0;   // second byte of a three-byte UTF-8 character
  uint8_t longBytes_[3] = {0, 0, 0};
  int longCount_ = 0;        // bytes of a four-byte UTF-8 character gathered (0 when none)
  uint8_t raw_[4] = {0, 0, 0, 0};
  size_t rawCount_ = 0;
};

}  // namespace velmora
