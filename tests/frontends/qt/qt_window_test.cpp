// The Qt window on the offscreen platform against a host played on 127.0.0.1: what typing and
// the input method send, how the host's text is drawn into the cells, the menus' enabling, the
// mouse, clipboard, wheel and scroll bar, and closing.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QFontDialog>
#include <QFontInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QInputMethodEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>
#include <cstdlib>
#include <memory>

#include "qt_test_environment.h"
#include "app/headless.h"
#include "app/ui_text.h"
#include "frontends/qt/qt_socket.h"
#include "frontends/qt/qt_text.h"
#include "frontends/qt/qt_window.h"
#include "platform/posix/reg_file_store.h"
#include "settings/terminal_size_dialog.h"
#include "telnet/host_address.h"

namespace velmora::testing {
namespace {


// The program's window as main() builds it, on a settings file of its own, with the socket
// pointed at the test's peer.
struct Program {
  explicit Program(uint16_t port) : Program(port, MakeDirectory(), true) {}
  // A later start of the program on the settings file in `directory`, which stays.
  Program(uint16_t port, const std::string& directory) : Program(port, directory, false) {}
  ~Program() {
    if (!ownsDirectory) return;
    std::remove(store.filePath().c_str());
    std::remove((dir + "/Velmora.reg.lock").c_str());
    rmdir(dir.c_str());
  }
  static std::string MakeDirectory() {
    std::string d = QDir::tempPath().toStdString() + "/velmora-qt-XXXXXX";
    return mkdtemp(d.data()) != nullptr ? d : std::string();
  }
  Program(uint16_t port, const std::string& directory, bool owns)
      : dir(directory),
        ownsDirectory(owns),
        store(dir + "/Velmora.reg"),
        socket(port),
        logic(window.MakeLogic(socket, store, 777)) {}
  // Start-up up to the event loop, as the program runs it.
  void Start(const std::string& commandLine) {
    logic.LoadSettingsAndCommandLine(commandLine);
    ASSERT_TRUE(window.Create());
    logic.FitWindowToGrid(false);
    QtStartupPlatform(window).ShowMainWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.activateWindow();
    window.view()->setFocus();
    logic.ConnectAtStart();
  }
  // Runs the event loop until `done` holds (at most 30 s); the peer reads what arrives.
  bool Until(const std::function<bool()>& done, LoopbackHost* peer = nullptr) {
    const bool held = PumpUntil(done, [&] {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
      if (peer != nullptr) peer->ReadAvailable();
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      return true;
    });
    if (!held) ADD_FAILURE() << "gave up waiting";
    return held;
  }
  std::string Row(int r) {
    const TerminalLine* l = logic.screen().ScreenLine(r);
    std::string s(reinterpret_cast<const char*>(l->text()), static_cast<size_t>(l->width));
    return s.erase(s.find_last_not_of(' ') + 1);
  }
  int cw() const { return logic.metrics().cellWidth; }
  int ch() const { return logic.metrics().cellHeight; }

  std::string dir;
  bool ownsDirectory;
  RegFileStore store;
  QtSocket socket;
  QtMainWindow window;
  MainWindow& logic;
};

// The smallest rectangle holding every pixel of `area` that differs from `background`.
QRect Ink(const QImage& image, const QRect& area, QRgb background) {
  QRect ink;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if ((image.pixel(x, y) & 0xFFFFFF) != (background & 0xFFFFFF)) ink |= QRect(x, y, 1, 1);
    }
  }
  return ink;
}

// Text typed on a keyboard layout that produces it (QTest only types ASCII keys).
void TypeText(QWidget* w, const QString& text) {
  QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, text);
  QApplication::sendEvent(w, &press);
  QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, text);
  QApplication::sendEvent(w, &release);
}

class QtWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program = std::make_unique<Program>(peer.port);
  }
  void Connect(const std::string& options) {
    program->Start("/H 127.0.0.1 " + options);
    ASSERT_TRUE(peer.Accept());
    ASSERT_TRUE(program->Until([&] { return program->window.windowTitle() == "127.0.0.1 - Velmora"; }));
  }
  // Sends `text` as the host and waits until row `row` reads `want`.
  void Show(const std::string& text, int row, const std::string& want) {
    peer.Send(text);
    ASSERT_TRUE(program->Until([&] { return program->Row(row) == want; })) << program->Row(row);
  }
  // Sends "line 0" to "line <count - 1>", one per line, and waits until the last shows.
  void ShowNumberedLines(int count) {
    std::string lines;
    for (int i = 0; i < count; ++i) lines += "line " + std::to_string(i) + "\r\n";
    Show(lines, 22, "line " + std::to_string(count - 1));
  }
  std::string Sent(size_t count) {
    program->Until([&] { return peer.received.size() >= count; }, &peer);
    return peer.Take();
  }
  // Answers the next modal dialog or message box with `button` once it shows.
  static void Answer(QMessageBox::StandardButton button) {
    QTimer::singleShot(0, [button] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return Answer(button);
      box->button(button)->click();
    });
  }

  // Plays `user` on the next modal dialog once it shows.
  static void WhenModal(const std::function<void(QWidget*)>& user) {
    QTimer::singleShot(0, [user] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) return WhenModal(user);
      user(modal);
    });
  }

  // The font command, with the current face at `points` chosen in the font dialog.
  static void ChooseFontOfSize(QtMainWindow& w, int points) {
    WhenModal([points](QWidget* dialog) {
      auto* chooser = qobject_cast<QFontDialog*>(dialog);
      ASSERT_NE(chooser, nullptr);
      QFont font = chooser->currentFont();
      font.setPointSize(points);
      chooser->setCurrentFont(font);
      chooser->accept();
    });
    w.action(kCmdFont)->trigger();
  }

  LoopbackHost peer;
  std::unique_ptr<Program> program;
};

TEST_F(QtWindowTest, WindowFitsTheGridAndTypingReachesTheHost) {
  Connect("/C euc /T vt100");
  QtMainWindow& w = program->window;
  EXPECT_EQ(w.view()->size(), QSize(80 * program->cw(), 24 * program->ch()));
  EXPECT_EQ(w.view()->cursor().shape(), Qt::IBeamCursor);
  EXPECT_TRUE(w.HasFocus());

  struct Case {
    std::function<void()> type;
    std::string sent;
  };
  QWidget* v = w.view();
  const Case cases[] = {
      {[&] { QTest::keyClick(v, Qt::Key_Up); }, "\x1bOA"},
      {[&] { QTest::keyClick(v, Qt::Key_Left, Qt::ShiftModifier); }, "\x1bOD"},
      {[&] { QTest::keyClick(v, Qt::Key_F1); }, "\x1bOP"},
      {[&] { QTest::keyClicks(v, "ls -l"); }, "ls -l"},
      {[&] { QTest::keyClick(v, Qt::Key_Return); }, "\r"},
      {[&] { QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier); }, "\x03"},
      {[&] { QTest::keyClick(v, Qt::Key_Tab); }, "\t"},
      {[&] { TypeText(v, QString::fromUtf8("ｱ")); }, "\x8e\xb1"},  // half-width kana in EUC-JP
      {[&] { TypeText(v, QString::fromUtf8("€")); }, "?"},         // not in code page 932: shown replaced
      // Keys that send nothing, though the desktop gives Delete the text DEL and Alt+Z a "z".
      {[&] {
         QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier, QStringLiteral("\x7f"));
         QApplication::sendEvent(v, &del);
       },
       ""},
      {[&] { QTest::keyClick(v, Qt::Key_Z, Qt::AltModifier); }, ""},
      // The Linux clipboard keys: Shift+Insert and Ctrl+Shift+V paste, Ctrl+Shift+C copies (with
      // nothing selected, nothing); Ctrl+V alone stays the control byte.
      {[&] {
         QGuiApplication::clipboard()->setText(QStringLiteral("pa"));
         QTest::keyClick(v, Qt::Key_Insert, Qt::ShiftModifier);
       },
       "pa"},
      {[&] { QTest::keyClick(v, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier); }, "pa"},
      {[&] { QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier); }, ""},
      {[&] { QTest::keyClick(v, Qt::Key_V, Qt::ControlModifier); }, "\x16"},
      {[&] { QTest::keyClick(v, Qt::Key_Home); }, ""},
      {[&] { QTest::keyClick(v, Qt::Key_F5); }, ""},
  };
  for (const Case& c : cases) {
    c.type();
    QTest::keyClick(v, Qt::Key_Period);
    EXPECT_EQ(Sent(c.sent.size() + 1), c.sent + ".");
  }

  // Japanese committed by the input method goes out in the host encoding of the moment.
  struct Ime {
    int encoding;
    std::string sent;
  };
  const Ime imes[] = {
      {kCmdEncodingEuc, "\xc6\xfc\xcb\xdc"},
      {kCmdEncodingSjis, "\x93\xfa\x96\x7b"},
      {kCmdEncodingUtf8, "\xe6\x97\xa5\xe6\x9c\xac"},
  };
  for (const Ime& c : imes) {
    w.action(c.encoding)->trigger();
    QInputMethodEvent preedit(QString::fromUtf8("にほん"), {});
    QApplication::sendEvent(v, &preedit);
    QInputMethodEvent commit;
    commit.setCommitString(QString::fromUtf8("日本"));
    QApplication::sendEvent(v, &commit);
    EXPECT_EQ(Sent(c.sent.size()), c.sent);
  }
  // The composition is placed at the cursor cell.
  peer.Send("\x1b[5;11H");
  ASSERT_TRUE(program->Until([&] { return program->logic.screen().state().cursorRow == 4; }));
  EXPECT_EQ(v->inputMethodQuery(Qt::ImCursorRectangle).toRect(),
            QRect(10 * program->cw(), 4 * program->ch(), program->cw(), program->ch()));
  EXPECT_TRUE(v->inputMethodQuery(Qt::ImEnabled).toBool());
  // The composition is written in the terminal's font.
  const QFont imeFont = v->inputMethodQuery(Qt::ImFont).value<QFont>();
  const LogFont& terminalFont = program->logic.settings().logFont;
  EXPECT_EQ(imeFont.family(), Cp932ToQString(terminalFont.faceName()));
  EXPECT_EQ(imeFont.pixelSize(), -terminalFont.height());
  // A cursor waiting to wrap after the last column still has its composition inside the grid.
  peer.Send("\r" + std::string(80, 'x'));
  ASSERT_TRUE(program->Until([&] { return program->Row(4).size() == 80; }));
  const QRect atEnd = v->inputMethodQuery(Qt::ImCursorRectangle).toRect();
  EXPECT_EQ(atEnd.top(), 4 * program->ch());
  EXPECT_LE(atEnd.left(), 80 * program->cw());
}

// The port in the host text, over IPv4 and IPv6: the window reaches the host there (not the
// test's own peer, which the socket would take without a port) and shows the text as typed.
TEST_F(QtWindowTest, HostTextWithPortReachesThatPortOverIPv4AndIPv6) {
  for (const int family : {AF_INET, AF_INET6}) {
    LoopbackHost other({family == AF_INET6 ? "::1" : "127.0.0.1"});
    if (other.port == 0) {
      std::printf("[  SKIPPED ] no IPv6 loopback to listen on here\n");
      continue;
    }
    const std::string text = (family == AF_INET6 ? "[::1]:" : "127.0.0.1:") + std::to_string(other.port);
    program.reset();
    program = std::make_unique<Program>(peer.port);
    program->Start("/H " + text);
    ASSERT_TRUE(other.Accept());
    ASSERT_TRUE(program->Until([&] { return program->window.windowTitle() == QString::fromStdString(text + " - Velmora"); }));
    other.Send("over " + text + "\r\n");
    ASSERT_TRUE(program->Until([&] { return program->Row(0) == "over " + text; }));
  }
}

TEST_F(QtWindowTest, CaretFollowsTheCursorTheFocusAndTheView) {
  const int flashTime = QApplication::cursorFlashTime();
  QApplication::setCursorFlashTime(0);  // a caret that stays on, so the picture can be checked
  Connect("/C sjis");
  QtMainWindow& w = program->window;
  QWidget* v = w.view();
  const int cw = program->cw(), ch = program->ch();
  Show("ab", 0, "ab");
  ASSERT_TRUE(program->Until([&] { return w.caretRect().topLeft() == QPoint(2 * cw, 0); }));
  EXPECT_TRUE(w.caretShown());
  EXPECT_FALSE(w.caretBlinks());
  EXPECT_EQ(w.caretRect().size(), QSize(cw, ch));
  // The window shows the caret by inverting the cell under it.
  const QPoint inCaret(2 * cw + cw / 2, ch / 2);
  auto shownOnScreen = [&] {
    const QImage screen = v->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QImage drawn = w.image().convertToFormat(QImage::Format_RGB32);
    return (screen.pixel(inCaret) & 0xFFFFFF) != (drawn.pixel(inCaret) & 0xFFFFFF);
  };
  EXPECT_TRUE(shownOnScreen());

  // Over the first half of a double-byte character the caret covers both of its cells.
  peer.Send("\x93\xfa\x96\x7b\x1b[1;3H");
  ASSERT_TRUE(program->Until([&] { return w.caretRect() == QRect(2 * cw, 0, 2 * cw, ch); }));
  EXPECT_TRUE(w.caretShown());

  // Without the focus there is no caret; with it back the caret is where the cursor is.
  v->clearFocus();
  ASSERT_TRUE(program->Until([&] { return !w.HasFocus(); }));
  EXPECT_FALSE(w.caretShown());
  EXPECT_FALSE(shownOnScreen());
  v->setFocus();
  ASSERT_TRUE(program->Until([&] { return w.HasFocus(); }));
  EXPECT_TRUE(w.caretShown());
  EXPECT_EQ(w.caretRect(), QRect(2 * cw, 0, 2 * cw, ch));

  // With the view scrolled back, the cursor's row is below it and the caret is hidden; back at
  // the bottom the caret shows again.
  ShowNumberedLines(30);
  ASSERT_TRUE(program->Until([&] { return w.caretRect().topLeft() == QPoint(0, 23 * ch); }));
  program->logic.OnVScroll(kSbLineUp, 0);
  EXPECT_FALSE(w.caretShown());
  program->logic.OnVScroll(kSbBottom, 0);
  EXPECT_TRUE(w.caretShown());
  EXPECT_EQ(w.caretRect().topLeft(), QPoint(0, 23 * ch));

  // A desktop that blinks its caret blinks this one too, from the next time it is shown.
  QApplication::setCursorFlashTime(1000);
  v->clearFocus();
  ASSERT_TRUE(program->Until([&] { return !w.HasFocus(); }));
  EXPECT_FALSE(w.caretBlinks());
  v->setFocus();
  ASSERT_TRUE(program->Until([&] { return w.HasFocus(); }));
  EXPECT_TRUE(w.caretBlinks());
  QApplication::setCursorFlashTime(flashTime);
}

TEST_F(QtWindowTest, TextIsDrawnInsideItsCells) {
  Connect("/C sjis");
  const int cw = program->cw(), ch = program->ch();
  // Row 0 plain, row 1 bold, row 2 a full-width pair, row 3 reverse, row 4 underlined.
  Show("MMMMWWWW\r\n\x1b[1mMMMMWWWW\x1b[m\r\n\x82\xa0\x8a\xbf|\r\n\x1b[7mrev\x1b[m\r\n\x1b[4m___\x1b[m", 4, "___");
  const QImage image = program->window.image().convertToFormat(QImage::Format_RGB32);
  const QColor bg = QColor::fromRgb(image.pixel(79 * cw + 1, 10 * ch + 1));  // an empty cell
  const QRgb back = bg.rgb();

  const QRect plain = Ink(image, QRect(0, 0, 20 * cw, ch), back);
  const QRect bold = Ink(image, QRect(0, ch, 20 * cw, ch), back);
  ASSERT_FALSE(plain.isEmpty());
  EXPECT_LE(plain.right(), 8 * cw - 1);
  EXPECT_LE(bold.right(), 8 * cw - 1);  // bold keeps the grid
  EXPECT_GE(bold.right(), 7 * cw);      // and still fills the last cell

  // The full-width characters take two cells each; the bar after them is in column 4.
  const QRect first = Ink(image, QRect(0, 2 * ch, 2 * cw, ch), back);
  const QRect second = Ink(image, QRect(2 * cw, 2 * ch, 2 * cw, ch), back);
  const QRect bar = Ink(image, QRect(4 * cw, 2 * ch, 4 * cw, ch), back);
  EXPECT_GT(first.width(), cw);  // a glyph wider than one cell
  EXPECT_FALSE(second.isEmpty());
  EXPECT_GE(bar.left(), 4 * cw);
  EXPECT_LE(bar.right(), 5 * cw - 1);

  // Reverse: the cells are painted in the text colour.
  const QColor textColor = QColor::fromRgb(image.pixel(0, 3 * ch));
  EXPECT_NE(textColor.rgb(), back);
  EXPECT_EQ(QColor::fromRgb(image.pixel(3 * cw - 1, 4 * ch - 1)).rgb(), textColor.rgb());
  EXPECT_EQ(QColor::fromRgb(image.pixel(3 * cw + 1, 3 * ch + 1)).rgb(), back);
  // No glyph reaches below its row: under the five written rows the grid is empty.
  EXPECT_TRUE(Ink(image, QRect(0, 5 * ch, 80 * cw, 19 * ch), back).isEmpty());
  // A window made larger by hand keeps its grid; the border shows along the grid's bottom and
  // right edges.
  program->window.resize(program->window.size() + QSize(3 * cw, 2 * ch));
  ASSERT_TRUE(program->Until([&] { return program->window.view()->height() > 24 * ch; }));
  const QImage larger = program->window.image().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(program->logic.screen().columns(), 80);
  EXPECT_EQ(larger.pixel(10, 24 * ch) & 0xFFFFFF, textColor.rgb() & 0xFFFFFF);
  EXPECT_EQ(larger.pixel(80 * cw, 10) & 0xFFFFFF, textColor.rgb() & 0xFFFFFF);
  EXPECT_EQ(larger.pixel(80 * cw + 2, 24 * ch + 2) & 0xFFFFFF, back & 0xFFFFFF);

  // A mouse drag selects; the selected cells take the selection colours and copy reaches the
  // clipboard as Unicode.
  QWidget* v = program->window.view();
  QTest::mousePress(v, Qt::LeftButton, {}, QPoint(1, 2 * ch + 2));
  QTest::mouseMove(v, QPoint(5 * cw + 1, 2 * ch + 2));
  QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(5 * cw + 1, 2 * ch + 2));
  const QImage selected = program->window.image().convertToFormat(QImage::Format_RGB32);
  const ColorRef highlight = program->window.SystemColor(kColorHighlight);
  const QRgb highlightRgb = qRgb(highlight & 0xFF, (highlight >> 8) & 0xFF, (highlight >> 16) & 0xFF);
  EXPECT_EQ(selected.pixel(5 * cw - 1, 3 * ch - 1) & 0xFFFFFF, highlightRgb & 0xFFFFFF);
  // The bar's glyph in the selection is drawn in the selected-text colour.
  const ColorRef highlightText = program->window.SystemColor(kColorHighlightText);
  const QRgb highlightTextRgb = qRgb(highlightText & 0xFF, (highlightText >> 8) & 0xFF, (highlightText >> 16) & 0xFF);
  // The bar's strongest ink (the pixel farthest from the highlight) is nearer the selected-text
  // colour than the normal text colour.
  auto distance = [](QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b));
  };
  QRgb ink = highlightRgb;
  for (int y = 2 * ch; y < 3 * ch; ++y) {
    for (int x = 4 * cw; x < 5 * cw; ++x) {
      if (distance(selected.pixel(x, y), highlightRgb) > distance(ink, highlightRgb)) ink = selected.pixel(x, y);
    }
  }
  EXPECT_LT(distance(ink, highlightTextRgb), distance(ink, textColor.rgb()));
  // The selection is the primary selection too, and a middle click pastes it to the host.
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (clipboard->supportsSelection()) {
    EXPECT_EQ(clipboard->text(QClipboard::Selection), QString::fromUtf8("あ漢|"));
  }
  QTest::mouseClick(v, Qt::MiddleButton, {}, QPoint(cw, 10 * ch));
  EXPECT_EQ(Sent(5), "\x82\xa0\x8a\xbf|");
  QTest::keyClick(v, Qt::Key_C, Qt::AltModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("あ漢|"));
  // Ctrl+Shift+C copies too.
  clipboard->clear();
  QTest::keyClick(v, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(clipboard->text(), QString::fromUtf8("あ漢|"));

  // Two lines copied are joined by a line break; pasted back they go out with CR LF.
  program->logic.OnCommand(kCmdSelectAll);
  QGuiApplication::clipboard()->setText(QString::fromUtf8("ab\nあ\r\nc"));
  QTest::keyClick(v, Qt::Key_V, Qt::AltModifier);
  EXPECT_EQ(Sent(9), "ab\r\n\x82\xa0\r\nc");
}

// The host rewrites a selected line so that the selection's edges fall inside double-byte
// characters: those characters are drawn whole and highlighted, exactly as a selection of them.
TEST_F(QtWindowTest, SelectionEdgeInsideADoubleByteCharacterDrawsItWhole) {
  Connect("/C sjis");
  const int cw = program->cw(), ch = program->ch();
  QWidget* v = program->window.view();
  Show("abcdefgh", 0, "abcdefgh");
  auto drag = [&](int from, int to) {
    QTest::mousePress(v, Qt::LeftButton, {}, QPoint(from * cw + 1, ch / 2));
    QTest::mouseMove(v, QPoint(to * cw + 1, ch / 2));
    QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(to * cw + 1, ch / 2));
  };
  auto row = [&] { return program->window.image().copy(0, 0, 10 * cw, ch).convertToFormat(QImage::Format_RGB32); };
  drag(1, 3);  // "bc"
  Show("\r\x82\xa0\x82\xa2\x82\xa4", 0, "\x82\xa0\x82\xa2\x82\xa4gh");  // あいう over it
  const QImage edges = row();
  drag(0, 4);  // あい, selected on their boundaries
  const QImage whole = row();
  EXPECT_TRUE(edges == whole);
  const ColorRef highlight = program->window.SystemColor(kColorHighlight);
  const QRgb highlightRgb = qRgb(highlight & 0xFF, (highlight >> 8) & 0xFF, (highlight >> 16) & 0xFF);
  EXPECT_EQ(edges.pixel(0, ch - 1) & 0xFFFFFF, highlightRgb & 0xFFFFFF);
  EXPECT_EQ(edges.pixel(4 * cw - 1, ch - 1) & 0xFFFFFF, highlightRgb & 0xFFFFFF);
  EXPECT_NE(edges.pixel(4 * cw + 1, ch - 1) & 0xFFFFFF, highlightRgb & 0xFFFFFF);
}

// The window as the README shows it, saved where VELMORA_SCREENSHOT names.
TEST_F(QtWindowTest, Screenshot) {
  Connect("/C sjis");
  const std::string sjis =
      "Debian GNU/Linux 12\r\n\r\n"
      "\x1b[1m\x82\xe6\x82\xa4\x82\xb1\x82\xbb\x81\x41Velmora \x82\xd6\x81\x49\x1b[m\r\n"
      "$ ls\r\n"
      "\x8c\x8e\x8e\x9f\x95\xf1\x8d\x90.txt  \x8e\xca\x90\x5e/  \x96\xbc\x95\xeb.csv  notes.md\r\n"
      "$ cat \x82\xa8\x92\x6d\x82\xe7\x82\xb9.txt\r\n"
      "\x96\x7b\x93\xfa\x82\xcd\x90\xb0\x93\x56\x82\xc8\x82\xe8\x81\x42 \x1b[4m\x96\xbe\x93\xfa\x82\xe0\x90\xb0\x82\xea\x1b[m "
      "\x1b[7m \xba\xdd\xc6\xc1\xca \x1b[m\r\n"
      "$ ";
  Show(sjis, 7, "$");
  // A word picked with a double click shows the selection colours.
  const int cw = program->cw(), ch = program->ch();
  // (The window system sends a click and then the double click; QTest sends only the latter.)
  const QPoint word(2 * cw + 1, 4 * ch + 2);
  QTest::mouseClick(program->window.view(), Qt::LeftButton, {}, word);
  QTest::mouseDClick(program->window.view(), Qt::LeftButton, {}, word);
  QTest::mouseRelease(program->window.view(), Qt::LeftButton, {}, word);
  program->logic.OnCommand(kCmdCopy);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("月次報告"));
  const QPixmap shot = program->window.grab();
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), program->window.size());
  const char* out = std::getenv("VELMORA_SCREENSHOT");
  if (out != nullptr && *out != '\0') {
    EXPECT_TRUE(shot.save(QString::fromLocal8Bit(out)));
  }
}

// The image as the window draws it while output arrives (only what changed, cells whose
// pixels already show their character left alone, lines scrolled away before a frame never
// drawn) must be the image drawn anew from the screen. Each stream arrives in pieces with the
// image brought up to date in between, as frames would.
TEST_F(QtWindowTest, ImageDrawnWhileOutputArrivesEqualsImageDrawnAnew) {
  Connect("/C sjis");
  QtMainWindow& w = program->window;
  QWidget* v = w.view();
  const int cw = program->cw(), ch = program->ch();
  // The pieces are drawn wherever the window happens to be when the image is brought up to
  // date; the terminal has seen the whole stream once it answers a request for an option it
  // does not know (IAC DO n brings IAC WONT n), sent after the stream's last sequence.
  uint8_t option = 100;
  auto arrive = [&](const std::string& stream, size_t piece) {
    for (size_t at = 0; at < stream.size(); at += piece) {
      peer.Send(stream.substr(at, piece));
      QCoreApplication::processEvents();
      (void)w.image();
    }
    peer.Send(std::string("\xff\xfd") + static_cast<char>(option));
    ASSERT_EQ(Sent(3), std::string("\xff\xfc") + static_cast<char>(option));
    ++option;
    (void)w.image();
  };
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "line " + std::to_string(i) + " \x82\xa0\x8a\xbf text\r\n";
  struct Step {
    const char* name;
    std::function<void()> act;
  };
  const Step steps[] = {
      {"lines scrolling past the screen", [&] { arrive(lines, 97); }},
      {"a double-width character overwritten on its trail half, and written again one cell on",
       [&] {
         arrive("\x1b[3;1H\x82\xa0\x82\xa0\x1b[3;2Hx\x1b[3;3H\x1b[1my\x1b[m\x1b[7;1H\x82\xa0\x82\xa0", 5);
         arrive("\x1b[7;1H \x82\xa0\x82\xa0", 50);  // a cell on: each cell now shows the other half
       }},
      {"attributes, then erasing to the end of the line and of the screen",
       [&] { arrive("\x1b[5;1H\x1b[7mreverse\x1b[m \x1b[4munder\x1b[m \x1b[1mbold\x1b[m\x1b[5;4H\x1b[K\x1b[10;5H\x1b[J", 7); }},
      {"a scroll region, line feeds at its bottom, lines inserted and deleted, characters deleted",
       [&] { arrive("\x1b[1;1Htop\x1b[4;9r\x1b[9;1H\r\nin region\r\n\x1b[5;1H\x1b[2L\x1b[6;1H\x1b[3M\x1b[4;2H\x1b[4P", 4); }},
      {"a selection dragged with the mouse, then output",
       [&] {
         QTest::mousePress(v, Qt::LeftButton, {}, QPoint(3 * cw + 1, 2 * ch + 2));
         QTest::mouseMove(v, QPoint(20 * cw + 1, 6 * ch + 2));
         (void)w.image();
         QTest::mouseMove(v, QPoint(7 * cw + 1, 4 * ch + 2));
         QTest::mouseRelease(v, Qt::LeftButton, {}, QPoint(7 * cw + 1, 4 * ch + 2));
       }},
      {"the scroll region's lines moved under the selection, then the region ended",
       [&] { arrive("\x1b[9;1Hmore output\r\n\x1b[1;24r", 3); }},
      {"the view scrolled into the backlog and back by output",
       [&] {
         program->logic.OnMouseWheel(120, 0);
         (void)w.image();
         program->logic.OnMouseWheel(240, 0);
         arrive("back at the bottom\r\n", 6);
       }},
      {"a wider grid, and the view on backlog lines narrower than it",
       [&] {
         WhenModal([](QWidget* dialog) {
           dialog->findChild<QLineEdit*>(QString::number(kIdSizeColumns))->setText("100");
           dialog->findChild<QPushButton*>(QString::number(kIdDialogOk))->click();
         });
         w.action(kCmdTerminalSize)->trigger();
         ASSERT_EQ(program->logic.screen().columns(), 100);
         ASSERT_EQ(Sent(9), std::string("\xff\xfa\x1f\x00\x64\x00\x18\xff\xf0", 9));  // the new size, to the host
         std::string wide;
         for (int i = 0; i < 30; ++i) wide += std::string(100, static_cast<char>('a' + i % 26));
         arrive(wide, 450);
         program->logic.OnVScroll(kSbTop, 0);
       }},
      {"select all, then a new palette",
       [&] {
         program->logic.OnCommand(kCmdSelectAll);
         (void)w.image();
         QPalette palette = QApplication::palette();
         palette.setColor(QPalette::Base, QColor(30, 40, 50));
         palette.setColor(QPalette::Text, QColor(220, 210, 200));
         QApplication::setPalette(palette);
         QCoreApplication::processEvents();
       }},
  };
  const QPalette original = QApplication::palette();
  for (const Step& step : steps) {
    SCOPED_TRACE(step.name);
    step.act();
    const QImage drawn = w.image();
    w.RedrawAll();
    const QImage anew = w.image();
    ASSERT_EQ(drawn.size(), anew.size());
    QRect differs;
    for (int y = 0; y < drawn.height(); ++y) {
      for (int x = 0; x < drawn.width(); ++x) {
        if (drawn.pixel(x, y) != anew.pixel(x, y)) differs |= QRect(x, y, 1, 1);
      }
    }
    EXPECT_TRUE(differs.isEmpty()) << "pixels differ in columns " << differs.left() / cw << " to " << differs.right() / cw
                                   << ", rows " << differs.top() / ch << " to " << differs.bottom() / ch;
  }
  QApplication::setPalette(original);
}

TEST_F(QtWindowTest, MenusFollowTheConnection) {
  Connect("/C utf8");
  QtMainWindow& w = program->window;
  QList<QMenu*> popups;
  for (QAction* a : w.menuBar()->actions()) popups.push_back(a->menu());
  ASSERT_EQ(popups.size(), 4);
  EXPECT_EQ(w.menuBar()->actions()[0]->text(), QString::fromUtf8("コネクション(&O)"));

  auto open = [](QMenu* m) {
    m->popup(QPoint(0, 0));
    QCoreApplication::processEvents();
    m->hide();
  };
  open(popups[0]);
  EXPECT_FALSE(w.action(kCmdConnect)->isEnabled());
  EXPECT_TRUE(w.action(kCmdDisconnect)->isEnabled());
  EXPECT_EQ(w.action(kCmdConnect)->text(), QString::fromUtf8("接続(&O)...\tAlt+N"));
  QMenu* encodings = qobject_cast<QMenu*>(w.action(kCmdEncodingUtf8)->parent());
  ASSERT_NE(encodings, nullptr);
  open(encodings);
  ASSERT_NE(w.action(kCmdEncodingUtf8)->actionGroup(), nullptr);  // radio marks
  EXPECT_TRUE(w.action(kCmdEncodingUtf8)->actionGroup()->isExclusive());
  EXPECT_TRUE(w.action(kCmdEncodingUtf8)->isChecked());
  EXPECT_FALSE(w.action(kCmdEncodingEuc)->isChecked());
  QGuiApplication::clipboard()->clear();
  open(popups[1]);
  EXPECT_FALSE(w.action(kCmdCopy)->isEnabled());  // nothing selected
  EXPECT_FALSE(w.action(kCmdPaste)->isEnabled());  // nothing to paste
  QGuiApplication::clipboard()->setText(QStringLiteral("text"));
  QTest::keyClick(w.view(), Qt::Key_A, Qt::AltModifier);  // select all
  open(popups[1]);
  EXPECT_TRUE(w.action(kCmdCopy)->isEnabled());
  EXPECT_TRUE(w.action(kCmdPaste)->isEnabled());
  // The trace item is checked while tracing.
  open(popups[3]);
  EXPECT_FALSE(w.action(kCmdDebugTrace)->isChecked());
  w.action(kCmdDebugTrace)->trigger();
  open(popups[3]);
  EXPECT_TRUE(w.action(kCmdDebugTrace)->isChecked());
  w.action(kCmdDebugTrace)->trigger();
  std::remove("777.log");

  // The host closes: connecting is offered again.
  peer.CloseConnection();
  ASSERT_TRUE(program->Until([&] { return w.windowTitle() == QString::fromUtf8("未接続 - Velmora"); }));
  open(popups[0]);
  EXPECT_TRUE(w.action(kCmdConnect)->isEnabled());
  EXPECT_FALSE(w.action(kCmdDisconnect)->isEnabled());
  open(popups[1]);
  EXPECT_FALSE(w.action(kCmdPaste)->isEnabled());  // no connection to paste to
  // Alt+N opens the connection dialog.
  bool dialogShown = false;
  WhenModal([&](QWidget* dialog) {
    dialogShown = true;
    dialog->close();
  });
  QTest::keyClick(w.view(), Qt::Key_N, Qt::AltModifier);
  EXPECT_TRUE(dialogShown);
  EXPECT_EQ(w.windowTitle(), QString::fromUtf8("未接続 - Velmora"));
}

TEST_F(QtWindowTest, WheelAndScrollBarMoveTheView) {
  Connect("/C sjis");
  QtMainWindow& w = program->window;
  // The scroll bar as it shows at the next frame.
  auto bar = [&w] { return w.scrollBar(); };
  EXPECT_FALSE(bar()->isEnabled());  // no backlog yet
  ShowNumberedLines(60);
  const ViewState& view = program->logic.screen().view();
  ASSERT_EQ(view.viewIndex, 37);
  EXPECT_TRUE(bar()->isEnabled());
  EXPECT_EQ(bar()->maximum(), 37);
  EXPECT_EQ(bar()->value(), 37);

  auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
    QWheelEvent e(QPointF(10, 10), w.view()->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w.view(), &e);
  };
  const int perNotch = QApplication::wheelScrollLines();
  wheel(120, Qt::NoModifier);
  EXPECT_EQ(view.viewIndex, 37 - perNotch);
  EXPECT_EQ(bar()->value(), 37 - perNotch);
  wheel(120, Qt::ControlModifier);  // Control: no scrolling
  EXPECT_EQ(view.viewIndex, 37 - perNotch);
  // A touchpad's thirds of a notch add up to one notch; turning back drops what was gathered.
  wheel(40, Qt::NoModifier);
  wheel(40, Qt::NoModifier);
  EXPECT_EQ(view.viewIndex, 37 - perNotch);
  wheel(40, Qt::NoModifier);
  EXPECT_EQ(view.viewIndex, 37 - 2 * perNotch);
  wheel(80, Qt::NoModifier);
  wheel(-80, Qt::NoModifier);
  wheel(80, Qt::NoModifier);
  EXPECT_EQ(view.viewIndex, 37 - 2 * perNotch);

  bar()->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(view.viewIndex, 0);
  EXPECT_EQ(bar()->value(), 0);
  EXPECT_EQ(program->Row(0), "line 37");  // the screen's rows stay as they are
  bar()->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(view.viewIndex, 1);

  // Dragging the thumb holds the view while output arrives; letting go releases it.
  bar()->setSliderDown(true);
  bar()->setSliderPosition(10);
  EXPECT_EQ(view.viewIndex, 10);
  EXPECT_TRUE(view.thumbTracking);
  Show("more\r\n", 22, "more");
  EXPECT_EQ(view.viewIndex, 10);
  bar()->setSliderDown(false);
  EXPECT_FALSE(view.thumbTracking);
  Show("again\r\n", 22, "again");
  EXPECT_EQ(view.viewIndex, 39);
  EXPECT_EQ(bar()->value(), 39);
}

TEST_F(QtWindowTest, FontAndSizeCommandsResizeTheWindow) {
  program->Start("");
  QtMainWindow& w = program->window;
  auto fits = [&] {
    return w.view()->size() == QSize(program->logic.screen().columns() * program->cw(), program->logic.screen().rows() * program->ch());
  };
  ASSERT_TRUE(fits());

  // The terminal size dialog, filled in and confirmed.
  WhenModal([](QWidget* dialog) {
    dialog->findChild<QLineEdit*>(QString::number(kIdSizeColumns))->setText("100");
    dialog->findChild<QLineEdit*>(QString::number(kIdSizeRows))->setText("30");
    dialog->findChild<QPushButton*>(QString::number(kIdDialogOk))->click();
  });
  w.action(kCmdTerminalSize)->trigger();
  EXPECT_EQ(program->logic.screen().columns(), 100);
  EXPECT_EQ(program->logic.screen().rows(), 30);
  ASSERT_TRUE(program->Until(fits));

  // A larger font: larger cells, and the window follows.
  const int oldWidth = program->cw();
  ChooseFontOfSize(w, 24);
  EXPECT_GT(program->cw(), oldWidth);
  ASSERT_TRUE(program->Until(fits));

  // A larger desktop font makes the menu bar taller: the window grows so the grid stays whole.
  const QFont desktop = QApplication::font();
  QFont doubled = desktop;
  doubled.setPointSizeF(desktop.pointSizeF() * 2);
  const int menuBefore = w.menuBar()->height();
  QApplication::setFont(doubled);
  ASSERT_TRUE(program->Until([&] { return w.menuBar()->height() > menuBefore; }));
  EXPECT_TRUE(program->Until(fits));
  QApplication::setFont(desktop);
  ASSERT_TRUE(program->Until([&] { return w.menuBar()->height() == menuBefore; }));
  EXPECT_TRUE(program->Until(fits));

  // A cancelled dialog changes nothing.
  const QSize before = w.size();
  WhenModal([](QWidget* dialog) { qobject_cast<QDialog*>(dialog)->reject(); });
  w.action(kCmdTerminalSize)->trigger();
  EXPECT_EQ(w.size(), before);
  EXPECT_EQ(program->logic.screen().columns(), 100);
}

// What the user chose in one run (the connection, size, font and colours) is there at the next
// start.
TEST_F(QtWindowTest, ChoicesAndHistoryAreThereOnTheNextStart) {
  Connect("/C utf8 /T vt52");
  QtMainWindow& w = program->window;
  WhenModal([](QWidget* dialog) {
    dialog->findChild<QLineEdit*>(QString::number(kIdSizeColumns))->setText("90");
    dialog->findChild<QLineEdit*>(QString::number(kIdSizeRows))->setText("28");
    dialog->findChild<QPushButton*>(QString::number(kIdDialogOk))->click();
  });
  w.action(kCmdTerminalSize)->trigger();
  WhenModal([](QWidget* dialog) {
    dialog->findChild<QAbstractButton*>(QString::number(kIdColorDefault))->click();  // own colours
    dialog->findChild<QPushButton*>(QString::number(kIdDialogOk))->click();
  });
  w.action(kCmdColors)->trigger();
  ASSERT_EQ(program->logic.colors().colorDefault, 0);
  const int defaultCellWidth = program->cw();
  ChooseFontOfSize(w, 22);
  const int cellWidth = program->cw();
  ASSERT_GT(cellWidth, defaultCellWidth);
  Answer(QMessageBox::Yes);
  w.close();
  ASSERT_FALSE(w.isVisible());
  {
    // The closed window ends the program's loop (within half a minute, or the test fails).
    QTimer giveUp;
    giveUp.setSingleShot(true);
    QObject::connect(&giveUp, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    giveUp.start(30000);
    EXPECT_EQ(QCoreApplication::exec(), 0);
  }

  Program next(peer.port, program->dir);
  next.Start("");
  EXPECT_EQ(next.window.windowTitle(), QString::fromUtf8("未接続 - Velmora"));
  EXPECT_EQ(next.logic.screen().columns(), 90);
  EXPECT_EQ(next.logic.screen().rows(), 28);
  EXPECT_EQ(next.cw(), cellWidth);
  EXPECT_EQ(next.logic.colors().colorDefault, 0);
  EXPECT_EQ(next.window.view()->size(), QSize(90 * next.cw(), 28 * next.ch()));
  // The connection dialog offers the host first, with the encoding and terminal type it had.
  bool seen = false;
  WhenModal([&](QWidget* dialog) {
    auto* host = dialog->findChild<QComboBox*>(QString::number(kIdConnectHost));
    ASSERT_NE(host, nullptr);
    EXPECT_EQ(host->currentText(), "127.0.0.1");
    EXPECT_TRUE(dialog->findChild<QAbstractButton*>(QString::number(kIdConnectUtf8))->isChecked());
    EXPECT_TRUE(dialog->findChild<QAbstractButton*>(QString::number(kIdConnectVt52))->isChecked());
    seen = true;
    qobject_cast<QDialog*>(dialog)->reject();
  });
  next.window.action(kCmdConnect)->trigger();
  EXPECT_TRUE(seen);
}

TEST_F(QtWindowTest, ClosingWhileConnectedAsksFirst) {
  Connect("/C sjis");
  QtMainWindow& w = program->window;
  Answer(QMessageBox::No);
  w.close();
  EXPECT_TRUE(w.isVisible());
  EXPECT_TRUE(program->logic.IsConnected());
  EXPECT_EQ(w.exitCode(), -1);

  Answer(QMessageBox::Yes);
  w.close();
  EXPECT_FALSE(w.isVisible());
  EXPECT_EQ(w.exitCode(), 0);
  EXPECT_FALSE(program->logic.IsConnected());
  peer.ReadAvailable();
  ASSERT_TRUE(program->Until([&] { return peer.sawEnd; }, &peer));
  QCoreApplication::processEvents();  // the posted quit finds no loop to end
}

// Takes what the Qt socket reports as the window does, `take` bytes a readable event (the
// window takes 512; fewer leaves bytes that were read ahead), and everything left once the
// host closed.
class TakingHandler : public SocketEventHandler {
 public:
  TakingHandler(QtSocket& socket, size_t take) : socket_(socket), take_(take) {}
  void OnSocketEvent(SocketEvent event, int) override {
    uint8_t buffer[512];
    if (event == SocketEvent::Connected) connected = true;
    if (event == SocketEvent::Readable) {
      ++readable;
      const long n = socket_.Receive(buffer, take_);
      if (n > 0) bytes.append(reinterpret_cast<const char*>(buffer), static_cast<size_t>(n));
    }
    if (event == SocketEvent::Closed) {
      ++closes;
      while (socket_.IsOpen() && socket_.Receive(buffer, 1) == 1) bytes += static_cast<char>(buffer[0]);
      socket_.Close();
      atClose = bytes.size();
    }
  }
  bool connected = false;
  int readable = 0;
  int closes = 0;
  std::string bytes;
  size_t atClose = 0;

 private:
  QtSocket& socket_;
  size_t take_;
};

TEST(QtSocketTest, EveryByteIsHandedOnInOrderAndTheCloseComesAfterThem) {
  std::string text;
  for (int i = 0; text.size() < 50000; ++i) text += "line " + std::to_string(i) + "\r\n";
  for (const size_t take : {size_t{512}, size_t{300}, size_t{1}}) {
    SCOPED_TRACE("bytes taken a readable event: " + std::to_string(take));
    LoopbackHost peer;
    QtSocket socket(peer.port);
    TakingHandler handler(socket, take);
    socket.SetEventHandler(&handler);
    auto until = [&](const std::function<bool()>& done) {
      return PumpUntil(done, [] {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return true;
      });
    };
    ASSERT_EQ(socket.Connect(ParseHostText("127.0.0.1").address), 0);
    ASSERT_TRUE(peer.Accept(30, [] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); }));
    ASSERT_TRUE(until([&] { return handler.connected; }));
    peer.Send(text.substr(0, 20000));
    ASSERT_TRUE(until([&] { return handler.bytes.size() == 20000; }));  // nothing waits on more from the host
    peer.Send(text.substr(20000));
    peer.CloseConnection();
    ASSERT_TRUE(until([&] { return handler.closes > 0; }));
    EXPECT_EQ(handler.bytes, text);
    EXPECT_EQ(handler.closes, 1);
    if (take == 512) {
      EXPECT_EQ(handler.atClose, text.size());  // all of it read before the close
    }
    EXPECT_GE(handler.readable, static_cast<int>(handler.atClose / take));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(handler.closes, 1);
  }
}

TEST_F(QtWindowTest, AutoCloseAfterTheHostLogsOut) {
  const uint32_t on = 1;
  ASSERT_TRUE(program->store.CreateKey("SOFTWARE\\ostrin\\Velmora", false)
                  ->WriteValue("auto close", kRegDword, reinterpret_cast<const uint8_t*>(&on), sizeof on));
  Connect("/C sjis");
  peer.CloseConnection();
  ASSERT_TRUE(program->Until([&] { return program->window.exitCode() == 0; }));
  EXPECT_FALSE(program->window.isVisible());
}

}  // namespace
}  // namespace velmora::testing
