#pragma once
#include <string>
#include <string_view>

namespace velmora {

// The window title for a status text: string 1 "%2 - %1" with the program name "Velmora" as %1
// and the status as %2, e.g. "未接続 - Velmora". A '%' in the status is shown as it is.
std::string FormatTitle(std::string_view status);

}  // namespace velmora
