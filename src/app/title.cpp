#include "app/title.h"

#include "app/ui_text.h"

namespace velmora {

std::string FormatTitle(std::string_view status) {
  return FillInserts(UiString(kStrTitleFormat), {kProgramName, status});
}

}  // namespace velmora
