#include "settings/terminal_size_dialog.h"

#include <utility>

namespace velmora {
namespace {

constexpr int kGridTextLimit = 3;
constexpr int kBacklogTextLimit = 10;

// A field's number: the digits at its start after any blanks, 0 when there are none or when
// the number does not fit in 32 bits.
uint32_t ReadFieldNumber(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
    if (value > UINT32_MAX) return 0;
  }
  return static_cast<uint32_t>(value);
}

int32_t Clamp(uint32_t value, int32_t lowest, int32_t highest) {
  if (value >= static_cast<uint32_t>(highest)) return highest;
  if (value < static_cast<uint32_t>(lowest)) return lowest;
  return static_cast<int32_t>(value);
}

}  // namespace

TerminalSizeDialogModel::TerminalSizeDialogModel(int32_t& columns, int32_t& rows, uint32_t& backlogMax,
                                                 ResizeScreenFunction resizeScreen)
    : columns_(columns), rows_(rows), backlogMax_(backlogMax), resizeScreen_(std::move(resizeScreen)) {}

std::array<TerminalSizeField, 3> TerminalSizeDialogModel::Init() const {
  return {{
      {kIdSizeColumns, kIdSizeColumnsUpDown, std::to_string(static_cast<uint32_t>(columns_)), kGridTextLimit,
       kMinColumns, kMaxColumns},
      {kIdSizeRows, kIdSizeRowsUpDown, std::to_string(static_cast<uint32_t>(rows_)), kGridTextLimit, kMinRows,
       kMaxRows},
      {kIdSizeBacklog, kIdSizeBacklogUpDown, std::to_string(backlogMax_), kBacklogTextLimit, 0,
       static_cast<int32_t>(kMaxBacklog)},
  }};
}

std::string TerminalSizeDialogModel::OnMaximum() const { return std::to_string(kMaxBacklog); }

bool TerminalSizeDialogModel::OnOk(std::string_view columnsText, std::string_view rowsText,
                                   std::string_view backlogText) {
  const int32_t previousColumns = columns_;
  const int32_t previousRows = rows_;
  columns_ = Clamp(ReadFieldNumber(columnsText), kMinColumns, kMaxColumns);
  rows_ = Clamp(ReadFieldNumber(rowsText), kMinRows, kMaxRows);
  if (!resizeScreen_ || !resizeScreen_(previousColumns)) {
    columns_ = previousColumns;
    rows_ = previousRows;
    return false;
  }
  const uint32_t backlog = ReadFieldNumber(backlogText);
  backlogMax_ = backlog >= kMaxBacklog ? kMaxBacklog : backlog;
  return true;
}

}  // namespace velmora
