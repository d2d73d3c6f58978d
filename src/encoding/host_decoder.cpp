#include "encoding/host_decoder.h"

#include "encoding/code_converter.h"

namespace velmora {

namespace {

bool IsUtf8Continuation(uint8_t b) { return b >= 0x80 && b <= 0xBF; }

HostDecoder::Result Single(uint8_t b) {
  HostDecoder::Result r;
  r.kind = HostDecoder::Result::Kind::Single;
  r.first = b;
  return r;
}

HostDecoder::Result Double(uint8_t lead, uint8_t trail) {
  HostDecoder::Result r;
  r.kind = HostDecoder::Result::Kind::Double;
  r.first = lead;
  r.second = trail;
  return r;
}

}  // namespace

HostDecoder::Result HostDecoder::CompleteLead(uint8_t b, HostEncoding encoding, bool kanjiMode) {
  uint8_t s1 = pendingLead_;
  uint8_t s2 = b;
  Result r;
  if (kanjiMode) {
    JisToSjis(s1, s2);
    r = Double(s1, s2);
  } else if (encoding == HostEncoding::SJIS) {
    r = Double(s1, s2);
  } else if (encoding == HostEncoding::UTF8) {
    const uint8_t lead = pendingLead_;
    if (lead >= 0xE0 && lead <= 0xEF && utf8Middle_ == 0) {
      utf8Middle_ = b;
      return r;  // pending: the third byte follows
    }
    uint8_t third = 0;
    if (lead >= 0xC0 && lead <= 0xDF) {
      utf8Middle_ = b;
    } else {
      third = b;
    }
    const uint8_t middle = utf8Middle_;
    s2 = middle;
    const int n = Utf8ToSjis(s1, s2, third);
    if (n == 1) {
      r = Single(s1);
    } else if (n == 2) {
      r = Double(s1, s2);
    } else {
      // The combining sound marks have no code page 932 form; they modify the kana before.
      if (lead == 0xE3 && middle == 0x82 && third == 0x99) {
        r.kind = Result::Kind::VoicedMark;
      } else if (lead == 0xE3 && middle == 0x82 && third == 0x9A) {
        r.kind = Result::Kind::SemiVoicedMark;
      } else {
        r.kind = Result::Kind::NoForm;
      }
      rawCount_ = 0;
      raw_[rawCount_++] = lead;
      raw_[rawCount_++] = middle;
      if (third != 0) raw_[rawCount_++] = third;
    }
  } else if (pendingLead_ == 0x8E) {
    r = Single(b);  // EUC-JP half-width katakana
  } else {
    EucToSjis(s1, s2);
    r = Double(s1, s2);
  }
  pendingLead_ = 0;
  // A character completed under another encoding than the one it began in must not leave its
  // UTF-8 middle byte to spoil the next three-byte character.
  utf8Middle_ = 0;
  return r;
}

HostDecoder::DoubleRun HostDecoder::DecodeDoubleRun(const uint8_t* bytes, size_t size, HostEncoding encoding,
                                                    bool kanjiMode, uint8_t* out, size_t maxChars) {
  size_t at = 0;
  size_t n = 0;
  // The characters of two bytes each while `convert` takes the pair (false: the run ends there).
  auto pairs = [&](auto convert) {
    while (n < maxChars && size - at >= 2) {
      uint8_t first = bytes[at];
      uint8_t second = bytes[at + 1];
      if (!convert(first, second)) break;
      out[2 * n] = first;
      out[2 * n + 1] = second;
      ++n;
      at += 2;
    }
  };
  auto inGl = [](uint8_t b) { return b >= 0x21 && b <= 0x7E; };
  auto inGr = [](uint8_t b) { return b >= 0xA1 && b <= 0xFE; };
  if (kanjiMode) {
    pairs([&](uint8_t& j1, uint8_t& j2) {
      if (!inGl(j1) || !inGl(j2)) return false;
      JisToSjis(j1, j2);
      return true;
    });
    return DoubleRun{at, n};
  }
  switch (encoding) {
    case HostEncoding::SJIS:
      // The lead byte needs no conversion; CompleteLead passes the pair on as it came.
      pairs([](uint8_t lead, uint8_t trail) {
        return IsSjisLeadByte(lead) && trail >= 0x40 && trail != 0x7F && trail <= 0xFC;
      });
      break;
    case HostEncoding::UTF8:
      while (n < maxChars && at < size) {
        const uint8_t b1 = bytes[at];
        uint16_t unicode;
        size_t length;
        if (b1 >= 0xE0 && b1 <= 0xEF) {
          if (size - at < 3 || !IsUtf8Continuation(bytes[at + 1]) || !IsUtf8Continuation(bytes[at + 2])) break;
          unicode = static_cast<uint16_t>(((b1 & 0x0F) << 12) | ((bytes[at + 1] & 0x3F) << 6) | (bytes[at + 2] & 0x3F));
          length = 3;
        } else if (b1 >= 0xC0 && b1 <= 0xDF) {
          if (size - at < 2 || !IsUtf8Continuation(bytes[at + 1])) break;
          unicode = static_cast<uint16_t>(((b1 & 0x1F) << 6) | (bytes[at + 1] & 0x3F));
          length = 2;
        } else {
          break;
        }
        // The character as Utf8ToSjis finds it for CompleteLead; a single-byte form or none is
        // left to CompleteLead.
        const int32_t code = UnicodeToCp932(unicode);
        if (code < 0x100) break;
        out[2 * n] = static_cast<uint8_t>(code >> 8);
        out[2 * n + 1] = static_cast<uint8_t>(code & 0xFF);
        ++n;
        at += length;
      }
      break;
    default:
      // EUC-JP. Half-width katakana (0x8E and its byte) are single-byte characters.
      pairs([&](uint8_t& e1, uint8_t& e2) {
        if (!inGr(e1) || !inGr(e2)) return false;
        EucToSjis(e1, e2);
        return true;
      });
      break;
  }
  return DoubleRun{at, n};
}

bool HostDecoder::GatherLong(uint8_t b, Result& out) {
  if (!IsUtf8Continuation(b)) return false;
  if (longCount_ < 3) {
    longBytes_[longCount_++] = b;
    out = Result{};
    return true;
  }
  // A character beyond the 16-bit range: code page 932 has no form for it.
  out = Result{};
  out.kind = Result::Kind::NoForm;
  for (int i = 0; i < 3; ++i) raw_[i] = longBytes_[i];
  raw_[3] = b;
  rawCount_ = 4;
  longCount_ = 0;
  return true;
}

int HostDecoder::TakeLong(uint8_t (&bytes)[3]) {
  const int held = longCount_;
  for (int i = 0; i < held; ++i) bytes[i] = longBytes_[i];
  longCount_ = 0;
  return held;
}

}  // namespace velmora
