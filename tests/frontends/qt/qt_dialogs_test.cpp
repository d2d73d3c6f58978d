// The Qt dialogs on the offscreen platform: each is built from its layout (title, texts, ids,
// tab order, mnemonics), passes what the user does to the core's dialog model, and OK and Cancel
// end it with the right values. The user is played by QTest from a timer that fires once the
// modal dialog is up.
#include <gtest/gtest.h>

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QInputMethodEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QStandardPaths>
#include <QStringListModel>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <functional>
#include <limits>
#include <type_traits>

#include "qt_test_environment.h"
#include "app/ui_text.h"
#include "frontends/qt/qt_dialogs.h"
#include "frontends/qt/qt_text.h"
#include "settings/host_history.h"
#include "support/connect_dialog_values.h"
#include "support/memory_store.h"

namespace velmora::testing {
namespace {


// Calls `open`, which runs a modal dialog, and plays `user` on that dialog once it is up. A
// dialog the user leaves open is rejected, so that a failed expectation cannot hang the test.
template <class Open>
auto WithModal(const std::function<void(QDialog&)>& user, Open open) {
  QObject guard;
  bool seen = false;
  QTimer::singleShot(0, &guard, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    seen = dialog != nullptr;
    if (dialog == nullptr) return;
    EXPECT_TRUE(QTest::qWaitForWindowActive(dialog));
    user(*dialog);
    if (dialog->isVisible()) dialog->reject();
  });
  if constexpr (std::is_void_v<decltype(open())>) {
    open();
    EXPECT_TRUE(seen) << "no modal dialog came up";
  } else {
    auto result = open();
    EXPECT_TRUE(seen) << "no modal dialog came up";
    return result;
  }
}

template <class W>
W* Find(const QDialog& dialog, int id) {
  W* w = dialog.findChild<W*>(QString::number(id));
  EXPECT_NE(w, nullptr) << "control " << id;
  return w;
}

// The id of the control that has the focus (the host field's editor counts as the combo box).
int FocusedId() {
  for (QWidget* w = QApplication::focusWidget(); w != nullptr; w = w->parentWidget()) {
    bool number = false;
    const int id = w->objectName().toInt(&number);
    if (number) return id;
  }
  return kIdNone;
}

// Replaces a field's text by typing: ASCII as keys, anything else as the input method's commit.
void Type(QWidget* field, const QString& text) {
  field->setFocus();
  QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClick(field, Qt::Key_Delete);
  for (const QChar c : text) {
    if (c.unicode() < 0x80) {
      QTest::keyClick(field, c.toLatin1());
    } else {
      QInputMethodEvent commit;
      commit.setCommitString(c);
      QApplication::sendEvent(QApplication::focusWidget(), &commit);
    }
  }
}

// Alt with the letter; a button's click lands when its press animation ends.
void PressMnemonic(QWidget* dialog, char letter) {
  QTest::keyClick(dialog, letter, Qt::AltModifier);
  QTest::qWait(150);
}

QChar Mnemonic(const QString& text) { return text.at(text.indexOf(QLatin1Char('&')) + 1).toUpper(); }

// Title, the controls' kinds and texts, the tab order from the first tab stop round to it
// again, and where each mnemonic takes the focus.
void ExpectBuiltFrom(QDialog& dialog, const DialogLayout& layout) {
  EXPECT_EQ(dialog.windowTitle(), Utf8(layout.title));
  std::vector<int> tabStops;
  for (size_t i = 0; i < layout.controls.size(); ++i) {
    const DialogControl& c = layout.controls[i];
    const QString text = Utf8(c.text);
    SCOPED_TRACE(text.toStdString() + " " + std::to_string(c.id));
    if (c.flags & kCtlTabStop) tabStops.push_back(c.id);
    if (c.id == kIdNone) {
      bool found = false;
      for (auto* label : dialog.findChildren<QLabel*>()) found |= label->text() == text;
      for (auto* box : dialog.findChildren<QGroupBox*>()) found |= box->title() == text;
      EXPECT_TRUE(found);
      continue;
    }
    QWidget* w = Find<QWidget>(dialog, c.id);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(dialog.rect().contains(w->geometry()));
    EXPECT_EQ(w->isEnabled(), !(c.flags & kCtlDisabled));
    switch (c.kind) {
      case ControlKind::kRadioButton:
      case ControlKind::kCheckBox:
        EXPECT_GE(w->width(), w->sizeHint().width()) << "text cut off";
        [[fallthrough]];
      case ControlKind::kPushButton:
      case ControlKind::kDefaultPushButton: {
        auto* button = qobject_cast<QAbstractButton*>(w);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->text(), text);
        if (auto* push = qobject_cast<QPushButton*>(w)) {
          EXPECT_EQ(push->isDefault(), c.kind == ControlKind::kDefaultPushButton);
        }
        break;
      }
      case ControlKind::kEdit:
        EXPECT_NE(qobject_cast<QLineEdit*>(w), nullptr);
        break;
      case ControlKind::kDropDownCombo: {
        auto* combo = qobject_cast<QComboBox*>(w);
        ASSERT_NE(combo, nullptr);
        EXPECT_TRUE(combo->isEditable());
        break;
      }
      default:
        break;
    }
  }

  ASSERT_FALSE(tabStops.empty());
  std::vector<int> visited;
  for (size_t i = 0; i <= tabStops.size(); ++i) {
    visited.push_back(FocusedId());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  tabStops.push_back(tabStops.front());
  EXPECT_EQ(visited, tabStops);

  // A mnemonic of static text leads to the next control that takes the focus.
  for (size_t i = 0; i < layout.controls.size(); ++i) {
    const DialogControl& c = layout.controls[i];
    const QString text = Utf8(c.text);
    if (!text.contains(QLatin1Char('&')) || c.kind == ControlKind::kPushButton) continue;
    int expected = c.id;
    for (size_t j = i; expected == kIdNone && j < layout.controls.size(); ++j) {
      if (layout.controls[j].kind != ControlKind::kLabel && layout.controls[j].kind != ControlKind::kGroupBox &&
          layout.controls[j].kind != ControlKind::kUpDown) {
        expected = layout.controls[j].id;
      }
    }
    QTest::keyClick(&dialog, static_cast<char>(Mnemonic(text).toLatin1()), Qt::AltModifier);
    EXPECT_EQ(FocusedId(), expected) << text.toStdString();
  }
}

class FixedSystemColors : public SystemColors {
 public:
  ColorRef SystemColor(int index) const override {
    switch (index) {
      case kColorWindow: return Rgb(0, 0, 200);
      case kColorWindowText: return Rgb(255, 255, 0);
      case kColorHighlight: return Rgb(0, 128, 0);
      case kColorHighlightText: return Rgb(255, 0, 255);
      default: return 0;
    }
  }
};

TEST(QtDialogs, AreBuiltFromTheirLayouts) {
  MemoryStore store;
  std::string hostName;
  HostEncoding encoding = HostEncoding::EUC;
  std::string terminalType = "vt100";
  Settings settings;
  int32_t columns = 80, rows = 24;
  uint32_t backlog = 100;
  FixedSystemColors system;
  CustomColors custom{};
  ColorScheme scheme;
  scheme.colorDefault = 0;  // the colour buttons take the focus only while enabled

  struct Case {
    const char* name;
    const DialogLayout& layout;
    std::function<void()> open;
  };
  const Case cases[] = {
      {"connect", ConnectDialogLayout(),
       [&] {
         ConnectDialogModel model(store, hostName, encoding, terminalType, settings);
         ConnectDialogState state = model.Open();
         RunQtConnectDialog(nullptr, model, state);
       }},
      {"terminal size", TerminalSizeDialogLayout(),
       [&] {
         TerminalSizeDialogModel model(columns, rows, backlog, [](int32_t) { return true; });
         RunQtTerminalSizeDialog(nullptr, model);
       }},
      {"about", AboutDialogLayout(), [] { RunQtAboutDialog(nullptr); }},
      {"colours", ColorDialogLayout(),
       [&] {
         ColorDialogModel model(scheme);
         RunQtColorDialog(nullptr, model, custom, system);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WithModal([&](QDialog& dialog) { ExpectBuiltFrom(dialog, c.layout); }, c.open);
  }
}

// --- connection dialog ---

struct ConnectValues : ConnectDialogValues {
  // Most recent first: alpha.example (UTF-8, vt52), b (EUC, vt100), 日本 (Shift-JIS, vt100) and
  // odd, whose encoding digit is none of the three.
  ConnectValues() {
    settings.autoClose = 1;
    AddHost(store, HistoryEntry::Make("odd", static_cast<HostEncoding>(7), "vt100"));
    AddHost(store, HistoryEntry::Make("\x93\xfa\x96\x7b", HostEncoding::SJIS, "vt100"));
    AddHost(store, HistoryEntry::Make("b", HostEncoding::EUC, "vt100"));
    AddHost(store, HistoryEntry::Make("alpha.example", HostEncoding::UTF8, "vt52"));
    store.writes.clear();
  }
};

// The checked encoding button (0 to 2, -1 for none) and whether vt52 is checked.
std::pair<int, bool> Buttons(const QDialog& dialog) {
  int encoding = -1;
  for (int i = 0; i < 3; ++i) {
    if (Find<QRadioButton>(dialog, kIdConnectEuc + i)->isChecked()) encoding = i;
  }
  return {encoding, Find<QRadioButton>(dialog, kIdConnectVt52)->isChecked()};
}

TEST(QtConnectDialog, ShowsTheStateWithTheHistoryMostRecentFirst) {
  ConnectValues v;
  ConnectDialogState state = v.model.Open();
  WithModal(
      [&](QDialog& dialog) {
        auto* host = Find<QComboBox>(dialog, kIdConnectHost);
        QStringList items;
        for (int i = 0; i < host->count(); ++i) items << host->itemText(i);
        EXPECT_EQ(items, (QStringList{"alpha.example", "b", QStringLiteral("日本"), "odd"}));
        EXPECT_EQ(host->currentText(), "alpha.example");
        EXPECT_EQ(Buttons(dialog), std::make_pair(2, true));
        EXPECT_TRUE(Find<QCheckBox>(dialog, kIdConnectAutoClose)->isChecked());
        EXPECT_EQ(FocusedId(), kIdConnectHost);
        QTest::keyClick(host, Qt::Key_Down);  // b
        EXPECT_EQ(Buttons(dialog), std::make_pair(0, false));
        QTest::keyClick(host, Qt::Key_Down);  // 日本
        EXPECT_EQ(Buttons(dialog), std::make_pair(1, false));
        QTest::keyClick(host, Qt::Key_Down);  // odd: no encoding button stays checked
        EXPECT_EQ(Buttons(dialog), std::make_pair(-1, false));
        EXPECT_EQ(state.selected, 3);
      },
      [&] { return RunQtConnectDialog(nullptr, v.model, state); });
}

std::string Repeated(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST(QtConnectDialog, OkTakesWhatTheDialogShowsAndCancelNothing) {
  enum End { kOkButton, kEnter, kEscape };  // Enter is typed where the focus is
  struct Case {
    const char* name;
    std::function<void(QDialog&)> user;
    End end;
    std::string host;
    HostEncoding encoding;
    std::string type;
    int32_t autoClose;
  };
  const Case cases[] = {
      {"entry chosen with the arrow key",
       [](QDialog& d) { QTest::keyClick(Find<QComboBox>(d, kIdConnectHost), Qt::Key_Down); }, kOkButton, "b",
       HostEncoding::EUC, "vt100", 1},
      {"Japanese host from the list",
       [](QDialog& d) {
         QTest::keyClick(Find<QComboBox>(d, kIdConnectHost), Qt::Key_Down);
         QTest::keyClick(Find<QComboBox>(d, kIdConnectHost), Qt::Key_Down);
       },
       kOkButton, "\x93\xfa\x96\x7b", HostEncoding::SJIS, "vt100", 1},
      {"typed text is taken as it is, not completed",
       [](QDialog& d) { Type(Find<QComboBox>(d, kIdConnectHost), "al"); }, kEnter, "al", HostEncoding::UTF8, "vt52",
       1},
      {"typed text is not matched to an entry",
       [](QDialog& d) { Type(Find<QComboBox>(d, kIdConnectHost), "B"); }, kEnter, "B", HostEncoding::UTF8, "vt52",
       1},
      {"typing a remembered name changes no button",
       [](QDialog& d) {
         Find<QRadioButton>(d, kIdConnectSjis)->click();
         Type(Find<QComboBox>(d, kIdConnectHost), "b");
         QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
       },
       kOkButton, "b", HostEncoding::SJIS, "vt52", 1},
      {"Japanese host typed",
       [](QDialog& d) { Type(Find<QComboBox>(d, kIdConnectHost), QStringLiteral("ホスト.jp")); }, kEnter,
       "\x83\x7a\x83\x58\x83\x67.jp", HostEncoding::UTF8, "vt52", 1},
      {"a long Japanese host is cut at its last whole character (63 bytes at most)",
       [](QDialog& d) {
         auto* host = Find<QComboBox>(d, kIdConnectHost);
         Type(host, QString(40, QChar(0x3042)));  // 80 bytes of あ
         EXPECT_EQ(host->currentText(), QString(31, QChar(0x3042)));
       },
       kEnter, Repeated("\x82\xa0", 31), HostEncoding::UTF8, "vt52", 1},
      {"buttons by their mnemonics, auto close off",
       [](QDialog& d) {
         PressMnemonic(&d, 'S');
         PressMnemonic(&d, '1');
         PressMnemonic(&d, 'L');
       },
       kOkButton, "alpha.example", HostEncoding::SJIS, "vt100", 0},
      {"odd entry: no encoding button, taken as EUC",
       [](QDialog& d) {
         for (int i = 0; i < 3; ++i) QTest::keyClick(Find<QComboBox>(d, kIdConnectHost), Qt::Key_Down);
       },
       kOkButton, "odd", HostEncoding::EUC, "vt100", 1},
      {"Cancel after changes",
       [](QDialog& d) {
         QTest::keyClick(Find<QComboBox>(d, kIdConnectHost), Qt::Key_Down);
         Find<QRadioButton>(d, kIdConnectUtf8)->click();
         Find<QCheckBox>(d, kIdConnectAutoClose)->click();
       },
       kEscape, "", HostEncoding::EUC, "vt100", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConnectValues v;
    ConnectDialogState state = v.model.Open();
    const bool ok = WithModal(
        [&](QDialog& dialog) {
          c.user(dialog);
          if (c.end == kOkButton) {
            Find<QPushButton>(dialog, kIdDialogOk)->click();
          } else {
            QTest::keyClick(QApplication::focusWidget(), c.end == kEnter ? Qt::Key_Return : Qt::Key_Escape);
          }
        },
        [&] { return RunQtConnectDialog(nullptr, v.model, state); });
    EXPECT_EQ(ok, c.end != kEscape);
    EXPECT_EQ(v.hostName, c.host);
    EXPECT_EQ(v.encoding, c.encoding);
    EXPECT_EQ(v.terminalType, c.type);
    EXPECT_EQ(v.settings.autoClose, c.autoClose);
    EXPECT_EQ(v.store.writes.size(), c.autoClose == 0 ? 1u : 0u);  // saved only when it changed
  }
}

// --- terminal size dialog ---

struct SizeValues {
  int32_t columns = 80;
  int32_t rows = 24;
  uint32_t backlog = 1000;
  bool rebuilds = true;
  int rebuildCalls = 0;
  TerminalSizeDialogModel model{columns, rows, backlog, [this](int32_t) {
                                  ++rebuildCalls;
                                  return rebuilds;
                                }};
};

TEST(QtTerminalSizeDialog, FieldsTakeDigitsWithinTheirLimitsAndArrowsStopAtTheEnds) {
  SizeValues v;
  WithModal(
      [&](QDialog& dialog) {
        auto* columns = Find<QLineEdit>(dialog, kIdSizeColumns);
        auto* rows = Find<QLineEdit>(dialog, kIdSizeRows);
        auto* backlog = Find<QLineEdit>(dialog, kIdSizeBacklog);
        EXPECT_EQ(FocusedId(), kIdSizeColumns);
        EXPECT_EQ(columns->text(), "80");
        EXPECT_EQ(rows->text(), "24");
        EXPECT_EQ(backlog->text(), "1000");
        Type(columns, "1a2-b34");
        EXPECT_EQ(columns->text(), "123");
        Type(backlog, "99999999999");
        EXPECT_EQ(backlog->text(), "9999999999");

        struct Step {
          QLineEdit* field;
          int upDown;
          const char* before;
          bool up;
          bool byKey;
          const char* after;
        };
        const Step steps[] = {
            {rows, kIdSizeRowsUpDown, "24", true, true, "25"},
            {rows, kIdSizeRowsUpDown, "107", true, true, "107"},
            {rows, kIdSizeRowsUpDown, "12", false, false, "12"},
            {columns, kIdSizeColumnsUpDown, "40", false, true, "40"},
            {columns, kIdSizeColumnsUpDown, "163", true, false, "163"},
            {columns, kIdSizeColumnsUpDown, "200", false, false, "162"},
            {backlog, kIdSizeBacklogUpDown, "2147483647", true, false, "2147483647"},
            {backlog, kIdSizeBacklogUpDown, "0", false, true, "0"},
            {backlog, kIdSizeBacklogUpDown, "9999", true, false, "10000"},  // no thousands separator
        };
        for (const Step& s : steps) {
          SCOPED_TRACE(std::string(s.before) + (s.up ? " up" : " down"));
          s.field->setText(s.before);
          if (s.byKey) {
            QTest::keyClick(s.field, s.up ? Qt::Key_Up : Qt::Key_Down);
          } else {
            QWidget* arrows = Find<QWidget>(dialog, s.upDown);
            ASSERT_NE(arrows, nullptr);
            arrows->findChild<QToolButton*>(s.up ? "up" : "down")->click();
          }
          EXPECT_EQ(s.field->text(), s.after);
        }
      },
      [&] { return RunQtTerminalSizeDialog(nullptr, v.model); });
  EXPECT_EQ(v.rebuildCalls, 0);
}

TEST(QtTerminalSizeDialog, OkRebuildsWithClampedValuesAndCancelChangesNothing) {
  struct Case {
    const char* name;
    const char* columns;
    const char* rows;
    const char* backlog;  // null: "最大(&M)" pressed
    bool ok;
    bool rebuilds;
    bool result;
    int32_t wantColumns;
    int32_t wantRows;
    uint32_t wantBacklog;
  };
  const Case cases[] = {
      {"clamped to the grid limits", "200", "5", "500", true, true, true, 163, 12, 500},
      {"empty columns read as 0", "", "30", "0", true, true, true, 40, 30, 0},
      {"maximum button", "100", "40", nullptr, true, true, true, 100, 40, 2147483647u},
      {"backlog above 31 bits", "80", "24", "3000000000", true, true, true, 80, 24, 2147483647u},
      {"failed rebuild keeps all three", "100", "40", "5", true, false, false, 80, 24, 1000},
      {"cancel after edits", "100", "40", nullptr, false, true, false, 80, 24, 1000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SizeValues v;
    v.rebuilds = c.rebuilds;
    const bool result = WithModal(
        [&](QDialog& dialog) {
          Type(Find<QLineEdit>(dialog, kIdSizeColumns), c.columns);
          Type(Find<QLineEdit>(dialog, kIdSizeRows), c.rows);
          if (c.backlog != nullptr) {
            Type(Find<QLineEdit>(dialog, kIdSizeBacklog), c.backlog);
          } else {
            PressMnemonic(&dialog, 'M');
            EXPECT_EQ(Find<QLineEdit>(dialog, kIdSizeBacklog)->text(), "2147483647");
            EXPECT_TRUE(dialog.isVisible());
          }
          // Enter in a field presses OK.
          QTest::keyClick(Find<QLineEdit>(dialog, kIdSizeRows), c.ok ? Qt::Key_Return : Qt::Key_Escape);
        },
        [&] { return RunQtTerminalSizeDialog(nullptr, v.model); });
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(v.rebuildCalls, c.ok ? 1 : 0);
    EXPECT_EQ(v.columns, c.wantColumns);
    EXPECT_EQ(v.rows, c.wantRows);
    EXPECT_EQ(v.backlog, c.wantBacklog);
  }
}

// --- colour dialog ---

// How many pixels of `area` in the sample have the colour.
int CountColor(QWidget* sample, const QRect& area, ColorRef color) {
  const QImage image = sample->grab().toImage();
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) count += image.pixelColor(x, y) == ToQColor(color);
  }
  return count;
}

// Background and selected word of the sample: the last row of pixels, below the three lines,
// and the cells of "tama" on the second line at column 8.
void ExpectSample(QWidget* sample, ColorRef window, ColorRef highlight) {
  const QFontMetrics metrics(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  const int w = metrics.averageCharWidth(), h = metrics.height();
  const QRect bottom(0, sample->height() - 1, sample->width(), 1);
  EXPECT_EQ(CountColor(sample, bottom, window), bottom.width());
  const QRect tama(8 * w, h, 4 * w, h);
  EXPECT_GT(CountColor(sample, tama, highlight), tama.width() * tama.height() / 2);
}

TEST(QtColorDialog, StandardColoursSwitchTheButtonsAndTheSample) {
  for (const bool ok : {true, false}) {
    FixedSystemColors system;
    CustomColors custom{};
    ColorDialogModel model{ColorScheme{}};  // first run: the system's colours
    const bool result = WithModal(
        [&](QDialog& dialog) {
          auto* standard = Find<QCheckBox>(dialog, kIdColorDefault);
          QWidget* sample = Find<QWidget>(dialog, kIdColorSample);
          ASSERT_NE(sample, nullptr);
          auto buttonsEnabled = [&] {
            std::vector<bool> enabled;
            for (int id = kIdTextForeground; id <= kIdSelectedBackground; ++id) {
              enabled.push_back(Find<QPushButton>(dialog, id)->isEnabled());
            }
            return enabled;
          };
          EXPECT_TRUE(standard->isChecked());
          EXPECT_EQ(buttonsEnabled(), std::vector<bool>(4, false));
          ExpectSample(sample, Rgb(0, 0, 200), Rgb(0, 128, 0));
          PressMnemonic(&dialog, 'D');
          EXPECT_FALSE(standard->isChecked());
          EXPECT_EQ(buttonsEnabled(), std::vector<bool>(4, true));
          ExpectSample(sample, Rgb(255, 255, 255), 0);  // black on white, "tama" white on black
          Find<QPushButton>(dialog, ok ? kIdDialogOk : kIdDialogCancel)->click();
        },
        [&] { return RunQtColorDialog(nullptr, model, custom, system); });
    EXPECT_EQ(result, ok);
  }
}

TEST(QtColorDialog, ChooserStartsAtTheColourAndKeepsTheCustomColours) {
  // The custom colours other Qt programs keep in Qt's shared settings file stay as they are.
  const QString configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  ASSERT_TRUE(QDir().mkpath(configDir));
  QFile shared(configDir + QStringLiteral("/QtProject.conf"));
  const QByteArray stored = "[Qt]\ncustomColors\\0=4278190335\n";
  ASSERT_TRUE(shared.open(QIODevice::WriteOnly | QIODevice::Truncate));
  shared.write(stored);
  shared.close();
  FixedSystemColors system;
  CustomColors custom{};
  custom[0] = Rgb(1, 2, 3);
  ColorScheme scheme;
  scheme.colorDefault = 0;
  ColorDialogModel model{scheme};
  const ColorRef red = Rgb(255, 0, 0);
  const bool ok = WithModal(
      [&](QDialog& dialog) {
        auto* background = Find<QPushButton>(dialog, kIdTextBackground);
        // Confirmed: the working colour and a custom colour the user added.
        WithModal(
            [&](QDialog& chooser) {
              auto* colors = qobject_cast<QColorDialog*>(&chooser);
              ASSERT_NE(colors, nullptr);
              EXPECT_EQ(FromQColor(colors->currentColor()), Rgb(255, 255, 255));
              EXPECT_EQ(FromQColor(QColorDialog::customColor(0)), Rgb(1, 2, 3));
              colors->setCurrentColor(ToQColor(red));
              QColorDialog::setCustomColor(5, ToQColor(Rgb(0, 255, 0)));
              colors->accept();
            },
            [&] { background->click(); });
        ExpectSample(Find<QWidget>(dialog, kIdColorSample), red, 0);
        // Cancelled: nothing changes, and the chooser starts at the colour chosen before.
        WithModal(
            [&](QDialog& chooser) {
              auto* colors = qobject_cast<QColorDialog*>(&chooser);
              ASSERT_NE(colors, nullptr);
              EXPECT_EQ(FromQColor(colors->currentColor()), red);
              colors->setCurrentColor(Qt::blue);
              colors->reject();
            },
            [&] { background->click(); });
        // The standard colours over the chosen one; the choice stays in the scheme.
        Find<QCheckBox>(dialog, kIdColorDefault)->click();
        QTest::keyClick(&dialog, Qt::Key_Return);
      },
      [&] { return RunQtColorDialog(nullptr, model, custom, system); });
  EXPECT_TRUE(ok);
  EXPECT_EQ(model.working.colorWindow, red);
  EXPECT_EQ(model.working.colorDefault, 1);
  EXPECT_EQ(custom[0], Rgb(1, 2, 3));
  EXPECT_EQ(custom[5], Rgb(0, 255, 0));
  ASSERT_TRUE(shared.open(QIODevice::ReadOnly));
  EXPECT_EQ(shared.readAll(), stored);
  shared.remove();
}

// --- about box, font chooser, message boxes ---

TEST(QtAboutDialog, ShowsTheIconAndClosesWithOkOrEscape) {
  for (const bool escape : {false, true}) {
    WithModal(
        [&](QDialog& dialog) {
          bool icon = false;
          for (auto* label : dialog.findChildren<QLabel*>()) icon |= !label->pixmap().isNull();
          EXPECT_TRUE(icon);
          if (escape) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
          } else {
            Find<QPushButton>(dialog, kIdDialogOk)->click();
          }
          EXPECT_FALSE(dialog.isVisible());
        },
        [] { RunQtAboutDialog(nullptr); });
  }
}

QStringList ListedFamilies(QDialog& chooser) {
  for (auto* list : chooser.findChildren<QListView*>()) {
    auto* model = qobject_cast<QStringListModel*>(list->model());
    if (model != nullptr && model->stringList().contains("DejaVu Sans Mono")) return model->stringList();
  }
  return {};
}

TEST(QtFontChooser, OffersFixedPitchFontsAndMarksJapaneseOnes) {
  const QStringList installed = QFontDatabase::families();
  if (!installed.contains("IPAGothic") || !installed.contains("DejaVu Sans Mono")) {
    GTEST_SKIP() << "needs the IPA Gothic and DejaVu fonts";
  }
  struct Case {
    const char* family;
    bool confirm;
    uint8_t charSet;
  };
  const Case cases[] = {{"IPAGothic", true, 128}, {"DejaVu Sans Mono", true, 0}, {"IPAGothic", false, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.family);
    LogFont font;
    font.setFaceName(c.family);
    font.setHeight(-16);
    const LogFont before = font;
    const bool ok = WithModal(
        [&](QDialog& chooser) {
          auto* fonts = qobject_cast<QFontDialog*>(&chooser);
          ASSERT_NE(fonts, nullptr);
          EXPECT_TRUE(fonts->testOption(QFontDialog::MonospacedFonts));
          const QStringList listed = ListedFamilies(chooser);
          EXPECT_TRUE(listed.contains("IPAGothic"));  // dual width: half-width Latin
          EXPECT_FALSE(listed.contains("IPAPGothic"));
          EXPECT_FALSE(listed.contains("DejaVu Sans"));
          EXPECT_EQ(fonts->currentFont().family(), c.family);
          if (c.confirm) {
            fonts->accept();
          } else {
            QTest::keyClick(&chooser, Qt::Key_Escape);
          }
        },
        [&] { return ChooseQtTerminalFont(nullptr, font); });
    EXPECT_EQ(ok, c.confirm);
    if (c.confirm) {
      EXPECT_EQ(font.faceName(), c.family);
      EXPECT_EQ(font.charSet(), c.charSet);
      EXPECT_EQ(font.height(), -16);
    } else {
      EXPECT_EQ(font.bytes, before.bytes);
    }
  }
}

// A stored font description as the Qt font the terminal draws with, and back: a negative height
// is the character height, a positive one the whole cell (as a font stored on Windows may be).
TEST(QtFontDescription, HeightsWeightAndFaceRoundTrip) {
  if (!QFontDatabase::families().contains("IPAGothic")) GTEST_SKIP() << "needs the IPA Gothic font";
  struct Case {
    int32_t height;
    int32_t weight;
    bool italic;
  };
  const Case cases[] = {
      {-16, 400, false}, {-24, 700, true}, {20, 400, false}, {13, 700, false},
      {std::numeric_limits<int32_t>::min(), 400, false}, {std::numeric_limits<int32_t>::max(), 400, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.height);
    LogFont d;
    d.setFaceName("IPAGothic");
    d.setHeight(c.height);
    d.setWeight(c.weight);
    d.setItalic(c.italic);
    const QFont font = LogFontToQFont(d);
    EXPECT_EQ(font.family(), "IPAGothic");
    EXPECT_EQ(font.bold(), c.weight >= 700);
    EXPECT_EQ(font.italic(), c.italic);
    // Heights no screen has (a damaged settings file) are drawn at the largest size instead.
    const int64_t height = std::clamp<int64_t>(c.height, -1000, 1000);
    if (height < 0) {
      EXPECT_EQ(font.pixelSize(), -height);
    } else {
      // The largest face whose line fits the cell.
      EXPECT_LE(QFontMetrics(font).height(), height);
      QFont larger = font;
      larger.setPixelSize(font.pixelSize() + 1);
      EXPECT_GT(QFontMetrics(larger).height(), height);
    }
    const LogFont back = QFontToLogFont(font, 128);
    EXPECT_EQ(back.faceName(), "IPAGothic");
    EXPECT_EQ(back.height(), -font.pixelSize());
    EXPECT_EQ(back.weight(), c.weight >= 700 ? 700 : 400);
    EXPECT_EQ(back.italic(), c.italic);
    EXPECT_EQ(back.charSet(), 128);
  }
}

TEST(QtMessageBoxes, CaptionIconButtonsAndAnswer) {
  struct Case {
    bool question;
    int press;  // a button, or 0 for Escape
    bool yes;
  };
  const Case cases[] = {{true, QMessageBox::Yes, true},
                        {true, QMessageBox::No, false},
                        {false, QMessageBox::Yes, true},
                        {false, 0, false}};
  for (const Case& c : cases) {
    const bool yes = WithModal(
        [&](QDialog& dialog) {
          auto* box = qobject_cast<QMessageBox*>(&dialog);
          ASSERT_NE(box, nullptr);
          EXPECT_EQ(box->windowTitle(), "Velmora");
          EXPECT_EQ(box->icon(), c.question ? QMessageBox::Question : QMessageBox::Warning);
          EXPECT_EQ(box->standardButtons(), QMessageBox::Yes | QMessageBox::No);
          EXPECT_EQ(box->text(), QStringLiteral("<b>接続</b>を切断しますか?"));
          EXPECT_EQ(box->textFormat(), Qt::PlainText);
          if (c.press != 0) {
            box->button(static_cast<QMessageBox::StandardButton>(c.press))->click();
          } else {
            QTest::keyClick(box, Qt::Key_Escape);
          }
        },
        [&] { return AskQtYesNo(nullptr, QStringLiteral("<b>接続</b>を切断しますか?"), c.question); });
    EXPECT_EQ(yes, c.yes);
  }
  WithModal(
      [](QDialog& dialog) {
        auto* box = qobject_cast<QMessageBox*>(&dialog);
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(box->windowTitle(), "Velmora");
        EXPECT_EQ(box->icon(), QMessageBox::Warning);
        EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
        QTest::keyClick(box, Qt::Key_Return);
        EXPECT_FALSE(box->isVisible());
      },
      [] { ShowQtMessage(nullptr, QStringLiteral("接続できませんでした")); });
}

}  // namespace
}  // namespace velmora::testing
