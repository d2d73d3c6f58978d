#pragma once
#include <cstdint>

namespace velmora {

// The encoding the host speaks. The numbering is the order of the encoding menu items and of
// the connection dialog's radio buttons, so it is also stored and passed around as an integer;
// any value other than SJIS and UTF8 behaves as EUC.
enum class HostEncoding : int32_t { EUC = 0, SJIS = 1, UTF8 = 2 };

}  // namespace velmora
