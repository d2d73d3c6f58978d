#include "encoding/cp932.h"

namespace velmora {

// The tables generated into cp932_table.cpp; 0 marks a code or character with no mapping.
namespace cp932_table {
extern const uint16_t kSingleByte[256];
extern const uint8_t kLeadRow[256];
extern const uint16_t kDoubleByte[][188];
extern const uint8_t kPageIndex[256];
extern const uint16_t kEncodePages[][256];
}  // namespace cp932_table

int32_t Cp932ToUnicode(uint16_t code) {
  if (code < 0x100) {
    if (code == 0) return 0;  // NUL is a real character, not the table's "none"
    const uint16_t u = cp932_table::kSingleByte[code];
    return u != 0 ? u : -1;
  }
  // Trail bytes run 0x40-0x7E and 0x80-0xFC; a row has one entry for each.
  const unsigned trail = code & 0xFF;
  if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return -1;
  const unsigned column = trail - 0x40 - (trail > 0x7F ? 1 : 0);
  // Bytes that are not lead bytes, or lead bytes with nothing assigned, select the empty row 0.
  const uint16_t u = cp932_table::kDoubleByte[cp932_table::kLeadRow[code >> 8]][column];
  return u != 0 ? u : -1;
}

namespace {

// The Unicode forms that JIS-based converters (glibc's EUC-JP, the input methods on Linux) give
// nine JIS X 0208 and JIS X 0201 characters for which code page 932 decodes to other code
// points. They are the same characters, so they encode to the same codes; decoding still gives
// the code page 932 forms.
constexpr struct {
  uint16_t unicode;
  uint16_t code;
} kJisForms[] = {
    {0x00A2, 0x8191},  // CENT SIGN
    {0x00A3, 0x8192},  // POUND SIGN
    {0x00A5, 0x5C},    // YEN SIGN (JIS X 0201)
    {0x00AC, 0x81CA},  // NOT SIGN
    {0x2014, 0x815C},  // EM DASH
    {0x2016, 0x8161},  // DOUBLE VERTICAL LINE
    {0x203E, 0x7E},    // OVERLINE (JIS X 0201)
    {0x2212, 0x817C},  // MINUS SIGN
    {0x301C, 0x8160},  // WAVE DASH
};

}  // namespace

int32_t UnicodeToCp932(uint16_t unicode) {
  if (unicode == 0) return 0;
  const uint16_t code = cp932_table::kEncodePages[cp932_table::kPageIndex[unicode >> 8]][unicode & 0xFF];
  if (code != 0) return code;
  for (const auto& form : kJisForms) {
    if (form.unicode == unicode) return form.code;
  }
  return -1;
}

}  // namespace velmora
