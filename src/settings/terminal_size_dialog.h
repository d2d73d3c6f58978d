#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace velmora {

// Control ids of the terminal size dialog.
enum TerminalSizeDialogId : int {
  kIdSizeRows = 1004,
  kIdSizeColumns = 1005,
  kIdSizeColumnsUpDown = 1008,
  kIdSizeRowsUpDown = 1009,
  kIdSizeBacklog = 1010,
  kIdSizeBacklogUpDown = 1011,
  kIdSizeMaximum = 1012,  // "最大(&M)"
};

// One number field of the dialog and the up-down control attached to it.
struct TerminalSizeField {
  int editId = 0;
  int upDownId = 0;
  std::string text;        // what the field shows as the dialog opens
  int textLimit = 0;       // characters the field takes
  int32_t lowest = 0;      // the up-down control's range
  int32_t highest = 0;
};

// The terminal size dialog's logic. The front-end builds the dialog, fills it from Init(), puts
// OnMaximum()'s text into the backlog field when "最大(&M)" is pressed, and on OK hands the three
// field texts to OnOk(), closing with its result. Cancel needs no call: nothing has changed.
//
// The fields take digits only, but a front-end may still hand over other text (pasted text, a
// toolkit without such fields). A field reads as the run of digits at its start, after any
// blanks; whatever follows is ignored, and a field without leading digits reads as 0, as an
// empty one does. A number too large for 32 bits reads as 0.
class TerminalSizeDialogModel {
 public:
  // Rebuilds the screen lines at the new `columns` x `rows` (ScreenModel::ResizeScreen); it is
  // given the columns in force before. False when the lines could not be made; the old lines
  // then stay.
  using ResizeScreenFunction = std::function<bool(int32_t previousColumns)>;

  static constexpr int32_t kMinColumns = 40;
  static constexpr int32_t kMaxColumns = 163;
  static constexpr int32_t kMinRows = 12;
  static constexpr int32_t kMaxRows = 107;
  static constexpr uint32_t kMaxBacklog = 2147483647u;

  TerminalSizeDialogModel(int32_t& columns, int32_t& rows, uint32_t& backlogMax, ResizeScreenFunction resizeScreen);

  // The fields as the dialog opens: columns (which takes the focus), rows, backlog, each showing
  // its current value as an unsigned decimal number.
  std::array<TerminalSizeField, 3> Init() const;

  // The text "最大(&M)" puts into the backlog field; the dialog stays open.
  std::string OnMaximum() const;

  // Columns and rows are clamped to their ranges and the screen is rebuilt at the new size;
  // only then is the backlog limit taken (at most 2147483647). True when the new size is in
  // force. False when the rebuild failed: columns and rows are put back and the backlog limit
  // is left alone.
  bool OnOk(std::string_view columnsText, std::string_view rowsText, std::string_view backlogText);

 private:
  int32_t& columns_;
  int32_t& rows_;
  uint32_t& backlogMax_;
  ResizeScreenFunction resizeScreen_;
};

}  // namespace velmora
