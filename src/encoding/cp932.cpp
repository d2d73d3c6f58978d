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

int32_t UnicodeToCp932(uint16_t unicode) {
  if (unicode == 0) return 0;
  const uint16_t code = cp932_table::kEncodePages[cp932_table::kPageIndex[unicode >> 8]][unicode & 0xFF];
  return code != 0 ? code : -1;
}

}  // namespace velmora
