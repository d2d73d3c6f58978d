#include "frontends/win32/win32_dialogs.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <cwchar>

#include "app/ui_text.h"
#include "encoding/cp932.h"
#include "frontends/win32/resources/resource.h"
#include "frontends/win32/win32_text.h"

namespace velmora {

// The resource script names its numbers in resource.h; they must stay those of the core, which
// the window logic and the tests use.
static_assert(IDR_MAINMENU == kResMainMenu && IDD_CONNECT == kResConnectDialog &&
              IDR_ACCELERATORS == kResAccelerators && IDD_TERMINAL_SIZE == kResTerminalSizeDialog &&
              IDD_ABOUT == kResAboutDialog && IDI_VELMORA == kResIcon && IDD_COLORS == kResColorDialog);
static_assert(IDS_TITLE_FORMAT == kStrTitleFormat && IDS_NOT_CONNECTED == kStrNotConnected &&
              IDS_CONNECT_FAILED == kStrConnectFailed && IDS_REMOVE_HOST_QUESTION == kStrRemoveHostQuestion &&
              IDS_CONNECTING == kStrConnecting && IDS_QUIT_QUESTION == kStrQuitQuestion);
static_assert(IDM_CONNECT == kCmdConnect && IDM_DISCONNECT == kCmdDisconnect && IDM_COPY == kCmdCopy &&
              IDM_PASTE == kCmdPaste && IDM_CLEAR_BACKLOG == kCmdClearBacklog && IDM_FONT == kCmdFont &&
              IDM_DEBUG_TRACE == kCmdDebugTrace && IDM_ABOUT == kCmdAbout && IDM_EXIT == kCmdExit &&
              IDM_TERMINAL_SIZE == kCmdTerminalSize && IDM_COLORS == kCmdColors &&
              IDM_SELECT_ALL == kCmdSelectAll && IDM_ENCODING_EUC == kCmdEncodingEuc &&
              IDM_ENCODING_SJIS == kCmdEncodingSjis && IDM_ENCODING_UTF8 == kCmdEncodingUtf8);
static_assert(IDC_STATIC == kIdNone && IDOK == kIdDialogOk && IDCANCEL == kIdDialogCancel);
static_assert(IDC_CONNECT_HOST == kIdConnectHost && IDC_CONNECT_EUC == kIdConnectEuc &&
              IDC_CONNECT_SJIS == kIdConnectSjis && IDC_CONNECT_UTF8 == kIdConnectUtf8 &&
              IDC_CONNECT_VT52 == kIdConnectVt52 && IDC_CONNECT_VT100 == kIdConnectVt100 &&
              IDC_CONNECT_AUTO_CLOSE == kIdConnectAutoClose);
static_assert(IDC_CONNECT_EUC + static_cast<int>(HostEncoding::SJIS) == IDC_CONNECT_SJIS &&
              IDC_CONNECT_EUC + static_cast<int>(HostEncoding::UTF8) == IDC_CONNECT_UTF8);
static_assert(IDC_SIZE_ROWS == kIdSizeRows && IDC_SIZE_COLUMNS == kIdSizeColumns &&
              IDC_SIZE_COLUMNS_UPDOWN == kIdSizeColumnsUpDown && IDC_SIZE_ROWS_UPDOWN == kIdSizeRowsUpDown &&
              IDC_SIZE_BACKLOG == kIdSizeBacklog && IDC_SIZE_BACKLOG_UPDOWN == kIdSizeBacklogUpDown &&
              IDC_SIZE_MAXIMUM == kIdSizeMaximum);
static_assert(IDC_COLOR_SAMPLE == kIdColorSample && IDC_COLOR_DEFAULT == kIdColorDefault &&
              IDC_TEXT_FOREGROUND == kIdTextForeground && IDC_TEXT_BACKGROUND == kIdTextBackground &&
              IDC_SELECTED_FOREGROUND == kIdSelectedForeground &&
              IDC_SELECTED_BACKGROUND == kIdSelectedBackground);
static_assert(COLOR_WINDOW == kColorWindow && COLOR_WINDOWTEXT == kColorWindowText &&
              COLOR_HIGHLIGHT == kColorHighlight && COLOR_HIGHLIGHTTEXT == kColorHighlightText);
static_assert(sizeof(LOGFONTA) == LogFont::kSize && offsetof(LOGFONTA, lfFaceName) == LogFont::kFaceOffset &&
              sizeof(LOGFONTA::lfFaceName) == LogFont::kFaceSize);

namespace {

constexpr size_t kMaxHostBytes = 63;

HINSTANCE Instance() { return GetModuleHandleW(nullptr); }

std::wstring WindowText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

// Code page 932 text of at most `limit` bytes, never ending in half a double-byte character.
std::string CutCp932(std::string text, size_t limit) {
  size_t end = 0;
  while (end < text.size()) {
    const size_t length = IsSjisLeadByte(static_cast<uint8_t>(text[end])) ? 2 : 1;
    if (end + length > limit) break;
    end += length;
  }
  text.resize(std::min(end, text.size()));
  return text;
}

// The text of a number field, which holds digits only (anything else would not be a digit in
// code page 932 either).
std::string FieldText(HWND dialog, int id) { return WideToCp932(WindowText(GetDlgItem(dialog, id))); }

// Every dialog keeps what it works on in DWLP_USER, handed over with WM_INITDIALOG.
template <class Context>
Context* ContextOf(HWND dialog, UINT message, LPARAM lParam) {
  if (message == WM_INITDIALOG) SetWindowLongPtrW(dialog, DWLP_USER, lParam);
  return reinterpret_cast<Context*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

int32_t ReadInt(const LogFont& font, size_t at) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(font.bytes[at + i]) << (8 * i);
  return static_cast<int32_t>(v);
}

void WriteInt(LogFont& font, size_t at, int32_t value) {
  const auto v = static_cast<uint32_t>(value);
  for (size_t i = 0; i < 4; ++i) font.bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// --- connection dialog ---

struct ConnectContext {
  ConnectDialogModel& model;
  ConnectDialogState& state;
};

void ShowConnectButtons(HWND dialog, const ConnectDialogState& state) {
  for (int i = 0; i < 3; ++i) {
    CheckDlgButton(dialog, kIdConnectEuc + i, state.encodingButton == i ? BST_CHECKED : BST_UNCHECKED);
  }
  CheckRadioButton(dialog, kIdConnectVt52, kIdConnectVt100, state.vt52 ? kIdConnectVt52 : kIdConnectVt100);
}

void ReadConnectControls(HWND dialog, ConnectDialogState& state) {
  const HWND host = GetDlgItem(dialog, kIdConnectHost);
  state.hostField = CutHostField(WideToCp932(WindowText(host)));
  state.selected = static_cast<int>(SendMessageW(host, CB_GETCURSEL, 0, 0));
  state.encodingButton.reset();
  for (int i = 0; i < 3; ++i) {
    if (IsDlgButtonChecked(dialog, kIdConnectEuc + i) == BST_CHECKED) state.encodingButton = i;
  }
  state.vt52 = IsDlgButtonChecked(dialog, kIdConnectVt52) == BST_CHECKED;
  state.autoClose = IsDlgButtonChecked(dialog, kIdConnectAutoClose) == BST_CHECKED;
}

INT_PTR CALLBACK ConnectDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  ConnectContext* context = ContextOf<ConnectContext>(dialog, message, lParam);
  if (context == nullptr) return FALSE;
  ConnectDialogState& state = context->state;
  switch (message) {
    case WM_INITDIALOG: {
      CheckDlgButton(dialog, kIdConnectAutoClose, state.autoClose ? BST_CHECKED : BST_UNCHECKED);
      const HWND host = GetDlgItem(dialog, kIdConnectHost);
      SendMessageW(host, CB_LIMITTEXT, kMaxHostBytes, 0);
      for (const std::string& name : state.hosts) {
        const std::wstring shown = Cp932ToWide(name);
        SendMessageW(host, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(shown.c_str()));
      }
      SendMessageW(host, CB_SETCURSEL, static_cast<WPARAM>(state.selected), 0);
      SetWindowTextW(host, Cp932ToWide(state.hostField).c_str());
      ShowConnectButtons(dialog, state);
      return TRUE;  // the focus goes to the host field, the first tab stop
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdConnectHost:
          // Only a list choice changes the buttons; typing in the field does not.
          if (HIWORD(wParam) == CBN_SELCHANGE) {
            const int index = static_cast<int>(SendMessageW(GetDlgItem(dialog, kIdConnectHost), CB_GETCURSEL, 0, 0));
            context->model.OnSelectionChanged(state, index);
            ShowConnectButtons(dialog, state);
          }
          return TRUE;
        case IDOK:
          ReadConnectControls(dialog, state);
          context->model.OnOk(state);
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// --- terminal size dialog ---

INT_PTR CALLBACK TerminalSizeDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* model = ContextOf<TerminalSizeDialogModel>(dialog, message, lParam);
  if (model == nullptr) return FALSE;
  switch (message) {
    case WM_INITDIALOG:
      // The up-down controls found their fields themselves (each follows its field).
      for (const TerminalSizeField& field : model->Init()) {
        SendDlgItemMessageW(dialog, field.upDownId, UDM_SETRANGE32, static_cast<WPARAM>(field.lowest),
                            static_cast<LPARAM>(field.highest));
        SendDlgItemMessageW(dialog, field.editId, EM_LIMITTEXT, static_cast<WPARAM>(field.textLimit), 0);
        SetDlgItemTextW(dialog, field.editId, Cp932ToWide(field.text).c_str());
      }
      return TRUE;  // the focus goes to the columns field, the first tab stop
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case kIdSizeMaximum:
          if (HIWORD(wParam) == BN_CLICKED) SetDlgItemTextW(dialog, kIdSizeBacklog, Cp932ToWide(model->OnMaximum()).c_str());
          return TRUE;
        case IDOK: {
          const bool inForce = model->OnOk(FieldText(dialog, kIdSizeColumns), FieldText(dialog, kIdSizeRows),
                                           FieldText(dialog, kIdSizeBacklog));
          EndDialog(dialog, inForce ? 1 : 0);
          return TRUE;
        }
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// --- about box ---

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, 0);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

// --- colour dialog ---

constexpr int kColorButtons[] = {kIdTextForeground, kIdTextBackground, kIdSelectedForeground, kIdSelectedBackground};

struct ColorContext {
  ColorDialogModel& model;
  CustomColors& customColors;
  const SystemColors& system;
};

class GdiSamplePainter : public SamplePainter {
 public:
  GdiSamplePainter(HDC dc, const RECT& area) : dc_(dc), area_(area) {}

  void FillBackground(ColorRef color) override {
    const HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc_, &area_, brush);
    DeleteObject(brush);
  }

  void OutputText(int x, int y, std::string_view text, ColorRef foreground, ColorRef background) override {
    SetTextColor(dc_, foreground);
    SetBkColor(dc_, background);
    SetBkMode(dc_, OPAQUE);
    const std::wstring shown = Utf8ToWide(text);
    TextOutW(dc_, area_.left + x, area_.top + y, shown.c_str(), static_cast<int>(shown.size()));
  }

 private:
  HDC dc_;
  RECT area_;
};

// The platform's colour chooser, owned by the dialog and starting at `initial`, with the run's
// custom colours, which it may change. `chosen` is set when the user confirms.
bool PickColor(HWND owner, ColorRef initial, CustomColors& customColors, ColorRef& chosen) {
  std::array<COLORREF, 16> table{};
  for (size_t i = 0; i < table.size(); ++i) table[i] = customColors[i];
  CHOOSECOLORW chooser{};
  chooser.lStructSize = sizeof(chooser);
  chooser.hwndOwner = owner;
  chooser.rgbResult = initial;
  chooser.lpCustColors = table.data();
  chooser.Flags = CC_RGBINIT;
  const bool confirmed = ChooseColorW(&chooser) != FALSE;
  for (size_t i = 0; i < table.size(); ++i) customColors[i] = static_cast<ColorRef>(table[i]);
  if (confirmed) chosen = static_cast<ColorRef>(chooser.rgbResult & 0xFFFFFFu);
  return confirmed;
}

void EnableColorButtons(HWND dialog, const ColorDialogModel& model) {
  for (int id : kColorButtons) EnableWindow(GetDlgItem(dialog, id), model.ColorButtonsEnabled() ? TRUE : FALSE);
}

void RepaintSample(HWND dialog) { InvalidateRect(GetDlgItem(dialog, kIdColorSample), nullptr, TRUE); }

INT_PTR CALLBACK ColorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  ColorContext* context = ContextOf<ColorContext>(dialog, message, lParam);
  if (context == nullptr) return FALSE;
  ColorDialogModel& model = context->model;
  switch (message) {
    case WM_INITDIALOG:
      CheckDlgButton(dialog, kIdColorDefault, model.DefaultChecked() ? BST_CHECKED : BST_UNCHECKED);
      EnableColorButtons(dialog, model);
      return TRUE;
    case WM_DRAWITEM: {
      const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
      if (wParam != kIdColorSample || item == nullptr) return FALSE;
      DrawWin32ColorSample(item->hDC, item->rcItem, model.working, context->system);
      SetWindowLongPtrW(dialog, DWLP_MSGRESULT, TRUE);
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wParam);
      switch (id) {
        case IDOK:
          EndDialog(dialog, 1);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case kIdColorDefault:
          model.OnDefaultClicked(IsDlgButtonChecked(dialog, kIdColorDefault) == BST_CHECKED);
          EnableColorButtons(dialog, model);
          break;
        case kIdTextForeground:
        case kIdTextBackground:
        case kIdSelectedForeground:
        case kIdSelectedBackground: {
          ColorRef chosen = *model.ColorOf(id);
          const bool confirmed = PickColor(dialog, chosen, context->customColors, chosen);
          model.OnColorPicked(id, confirmed, chosen);
          break;
        }
        default:
          break;
      }
      RepaintSample(dialog);
      return TRUE;
    }
  }
  return FALSE;
}

// --- font chooser ---

// Removes the vertical ("@") faces from the font dialog's face list once it has been filled.
UINT_PTR CALLBACK FontDialogHook(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return 0;
  const HWND faces = GetDlgItem(dialog, cmb1);
  const auto count = static_cast<int>(SendMessageW(faces, CB_GETCOUNT, 0, 0));
  for (int i = count - 1; i >= 0; --i) {
    const auto length = SendMessageW(faces, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
    if (length <= 0) continue;
    std::wstring face(static_cast<size_t>(length) + 1, L'\0');
    SendMessageW(faces, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(face.data()));
    if (face[0] == L'@') SendMessageW(faces, CB_DELETESTRING, static_cast<WPARAM>(i), 0);
  }
  return TRUE;  // the focus goes where the dialog put it
}

}  // namespace

LOGFONTW ToWin32LogFont(const LogFont& font) {
  LOGFONTW out{};
  out.lfHeight = font.height();
  out.lfWidth = font.width();
  out.lfEscapement = ReadInt(font, 8);
  out.lfOrientation = ReadInt(font, 12);
  out.lfWeight = font.weight();
  out.lfItalic = font.bytes[20];
  out.lfUnderline = font.bytes[21];
  out.lfStrikeOut = font.bytes[22];
  out.lfCharSet = font.bytes[23];
  out.lfOutPrecision = font.bytes[24];
  out.lfClipPrecision = font.bytes[25];
  out.lfQuality = font.bytes[26];
  out.lfPitchAndFamily = font.bytes[27];
  const std::wstring face = Cp932ToWide(font.faceName());
  const size_t length = std::min(face.size(), static_cast<size_t>(LF_FACESIZE - 1));
  std::memcpy(out.lfFaceName, face.data(), length * sizeof(wchar_t));
  return out;
}

LogFont FromWin32LogFont(const LOGFONTW& font) {
  LogFont out;
  out.setHeight(font.lfHeight);
  out.setWidth(font.lfWidth);
  WriteInt(out, 8, font.lfEscapement);
  WriteInt(out, 12, font.lfOrientation);
  out.setWeight(font.lfWeight);
  out.bytes[20] = font.lfItalic;
  out.bytes[21] = font.lfUnderline;
  out.bytes[22] = font.lfStrikeOut;
  out.bytes[23] = font.lfCharSet;
  out.bytes[24] = font.lfOutPrecision;
  out.bytes[25] = font.lfClipPrecision;
  out.bytes[26] = font.lfQuality;
  out.bytes[27] = font.lfPitchAndFamily;
  const std::wstring_view face(font.lfFaceName, wcsnlen(font.lfFaceName, LF_FACESIZE));
  out.setFaceName(CutCp932(WideToCp932(face), LogFont::kFaceSize - 1));
  return out;
}

void DrawWin32ColorSample(HDC dc, const RECT& area, const ColorScheme& working, const SystemColors& system) {
  const int saved = SaveDC(dc);
  // The sample is shown in the system's fixed-pitch font, not in the terminal's.
  LOGFONTW description{};
  GetObjectW(GetStockObject(SYSTEM_FIXED_FONT), sizeof(description), &description);
  const HFONT font = CreateFontIndirectW(&description);
  const HGDIOBJ previous = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  GdiSamplePainter painter(dc, area);
  DrawColorSample(painter, working, system, metrics.tmAveCharWidth, metrics.tmHeight);
  SelectObject(dc, previous);
  DeleteObject(font);
  RestoreDC(dc, saved);
}

bool RunWin32ConnectDialog(HWND owner, ConnectDialogModel& model, ConnectDialogState& state) {
  ConnectContext context{model, state};
  return DialogBoxParamW(Instance(), MAKEINTRESOURCEW(kResConnectDialog), owner, ConnectDialogProc,
                         reinterpret_cast<LPARAM>(&context)) == 1;
}

bool RunWin32TerminalSizeDialog(HWND owner, TerminalSizeDialogModel& model) {
  INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&controls);
  return DialogBoxParamW(Instance(), MAKEINTRESOURCEW(kResTerminalSizeDialog), owner, TerminalSizeDialogProc,
                         reinterpret_cast<LPARAM>(&model)) == 1;
}

void RunWin32AboutDialog(HWND owner) {
  DialogBoxParamW(Instance(), MAKEINTRESOURCEW(kResAboutDialog), owner, AboutDialogProc, 0);
}

bool RunWin32ColorDialog(HWND owner, ColorDialogModel& model, CustomColors& customColors, const SystemColors& system) {
  ColorContext context{model, customColors, system};
  return DialogBoxParamW(Instance(), MAKEINTRESOURCEW(kResColorDialog), owner, ColorDialogProc,
                         reinterpret_cast<LPARAM>(&context)) == 1;
}

bool ChooseWin32TerminalFont(HWND owner, LogFont& font) {
  LOGFONTW chosen = ToWin32LogFont(font);
  CHOOSEFONTW chooser{};
  chooser.lStructSize = sizeof(chooser);
  chooser.hwndOwner = owner;
  chooser.lpLogFont = &chosen;
  chooser.Flags = CF_SCREENFONTS | CF_FIXEDPITCHONLY | CF_INITTOLOGFONTSTRUCT | CF_ENABLEHOOK;
  chooser.lpfnHook = FontDialogHook;
  if (!ChooseFontW(&chooser)) return false;
  font = FromWin32LogFont(chosen);
  return true;
}

bool AskWin32YesNo(HWND owner, const std::string& text, bool questionIcon) {
  const std::wstring caption = Utf8ToWide(kProgramName);
  const UINT icon = questionIcon ? MB_ICONQUESTION : MB_ICONEXCLAMATION;
  return MessageBoxW(owner, Utf8ToWide(text).c_str(), caption.c_str(), MB_YESNO | icon) == IDYES;
}

void ShowWin32Message(HWND owner, const std::string& text) {
  const std::wstring caption = Utf8ToWide(kProgramName);
  MessageBoxW(owner, Utf8ToWide(text).c_str(), caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

}  // namespace velmora
