#include "frontends/qt/qt_dialogs.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QLocale>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QSettings>
#include <QStringListModel>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <functional>
#include <vector>

#include "app/ui_text.h"
#include "frontends/qt/qt_text.h"

namespace velmora {
namespace {

// Dialog units of a font as the window system defines them: a quarter of the average width of
// the Latin letters and an eighth of the line height.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (letters / 26 + 1) / 2);
    baseY_ = std::max(1, metrics.height());
  }
  int X(int units) const { return units * baseX_ / 4; }
  int Y(int units) const { return units * baseY_ / 8; }
  QRect Rect(const DialogControl& c) const { return QRect(X(c.x), Y(c.y), X(c.width), Y(c.height)); }

 private:
  int baseX_ = 1;
  int baseY_ = 1;
};

QString ControlId(int id) { return QString::number(id); }

// A group box whose mnemonic moves the focus to the control after it in the dialog's order (its
// controls are its siblings, as in the layout, not its children).
class MnemonicGroupBox : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;
  QWidget* target = nullptr;

 protected:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::Shortcut && target != nullptr) {
      target->setFocus(Qt::ShortcutFocusReason);
      return true;
    }
    return QGroupBox::event(e);
  }
};

// Arrows attached to a number field: they step the field's number within [lowest, highest] and
// answer the Up and Down keys typed in the field.
class UpDownControl : public QWidget {
 public:
  UpDownControl(QWidget* parent, QLineEdit* buddy, bool thousands)
      : QWidget(parent), buddy_(buddy), thousands_(thousands) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    up_ = MakeArrow(Qt::UpArrow, QStringLiteral("up"), +1);
    down_ = MakeArrow(Qt::DownArrow, QStringLiteral("down"), -1);
    column->addWidget(up_);
    column->addWidget(down_);
    if (buddy_ != nullptr) buddy_->installEventFilter(this);
  }

  void SetRange(int64_t lowest, int64_t highest) {
    lowest_ = lowest;
    highest_ = highest;
    position_ = std::clamp(FieldNumber().value_or(lowest_), lowest_, highest_);
  }

  void Step(int delta) {
    if (buddy_ == nullptr) return;
    if (auto shown = FieldNumber()) position_ = std::clamp(*shown, lowest_, highest_);
    position_ = std::clamp(position_ + delta, lowest_, highest_);
    buddy_->setText(thousands_ ? QLocale().toString(static_cast<qlonglong>(position_))
                               : QString::number(position_));
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (watched == buddy_ && e->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(e)->key();
      if (key == Qt::Key_Up || key == Qt::Key_Down) {
        Step(key == Qt::Key_Up ? +1 : -1);
        return true;
      }
    }
    return QWidget::eventFilter(watched, e);
  }

 private:
  QToolButton* MakeArrow(Qt::ArrowType arrow, const QString& name, int delta) {
    auto* button = new QToolButton(this);
    button->setObjectName(name);
    button->setArrowType(arrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    connect(button, &QToolButton::clicked, this, [this, delta] { Step(delta); });
    return button;
  }

  // The field's number, group separators left out; none when it holds no digits.
  std::optional<int64_t> FieldNumber() const {
    if (buddy_ == nullptr) return std::nullopt;
    int64_t value = 0;
    bool any = false;
    for (const QChar c : buddy_->text()) {
      if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
        value = std::min<int64_t>(value * 10 + (c.unicode() - '0'), int64_t{1} << 40);
        any = true;
      }
    }
    return any ? std::optional<int64_t>(value) : std::nullopt;
  }

  QLineEdit* buddy_;
  bool thousands_;
  QToolButton* up_ = nullptr;
  QToolButton* down_ = nullptr;
  int64_t lowest_ = 0;
  int64_t highest_ = 0;
  int64_t position_ = 0;
};

// The text a control shows, without the "&" that marks its mnemonic.
QString ShownText(std::string_view text) {
  QString shown = Utf8(text);
  shown.remove(QRegularExpression(QStringLiteral("&(?!&)")));
  return shown;
}

bool TakesFocus(ControlKind kind) {
  switch (kind) {
    case ControlKind::kEdit:
    case ControlKind::kDropDownCombo:
    case ControlKind::kRadioButton:
    case ControlKind::kCheckBox:
    case ControlKind::kPushButton:
    case ControlKind::kDefaultPushButton:
      return true;
    default:
      return false;
  }
}

QIcon ProgramIcon(const QWidget* dialog) {
  const QIcon icon = QApplication::windowIcon();
  return icon.isNull() ? dialog->style()->standardIcon(QStyle::SP_ComputerIcon) : icon;
}

// A modal dialog built from a layout of the core: the controls in the layout's order (which is
// the tab order), placed from dialog units of the dialog's font, each named after its id. A
// control whose text does not fit is widened, and the dialog grows with it. OK (1) calls onOk,
// which accepts unless replaced; Cancel (2) rejects.
class LayoutDialog : public QDialog {
 public:
  using OwnerDrawFactory = std::function<QWidget*(QWidget* parent)>;

  LayoutDialog(QWidget* parent, const DialogLayout& layout, const OwnerDrawFactory& ownerDraw = {})
      : QDialog(parent), layout_(layout) {
    setWindowTitle(Utf8(layout.title));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    setModal(true);
    const DialogUnits units(font());
    onOk = [this] { accept(); };

    QButtonGroup* radioGroup = nullptr;
    for (const DialogControl& c : layout.controls) {
      if (c.flags & kCtlGroup) radioGroup = nullptr;
      QWidget* w = Make(c, ownerDraw);
      widgets_.push_back(w);
      if (c.id != kIdNone) w->setObjectName(ControlId(c.id));
      if (c.flags & kCtlDisabled) w->setEnabled(false);
      if (TakesFocus(c.kind)) w->setFocusPolicy((c.flags & kCtlTabStop) ? Qt::StrongFocus : Qt::ClickFocus);
      if (c.kind == ControlKind::kRadioButton) {
        if (radioGroup == nullptr) radioGroup = new QButtonGroup(this);
        radioGroup->addButton(static_cast<QRadioButton*>(w), c.id);
      }
      w->setGeometry(units.Rect(c));
    }
    AttachUpDowns();
    AttachMnemonics();
    Fit(units);
  }

  template <class W>
  W* Control(int id) const {
    return findChild<W*>(ControlId(id), Qt::FindDirectChildrenOnly);
  }

  // Called when OK is pressed.
  std::function<void()> onOk;

  // The first control with a tab stop takes the focus as the dialog opens.
  int Run() {
    for (size_t i = 0; i < widgets_.size(); ++i) {
      if ((layout_.controls[i].flags & kCtlTabStop) && widgets_[i]->isEnabled()) {
        widgets_[i]->setFocus(Qt::TabFocusReason);
        break;
      }
    }
    return exec();
  }

 private:
  QWidget* Make(const DialogControl& c, const OwnerDrawFactory& ownerDraw) {
    const QString text = Utf8(c.text);
    switch (c.kind) {
      case ControlKind::kLabel: {
        auto* label = new QLabel(text, this);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return label;
      }
      case ControlKind::kGroupBox:
        return new MnemonicGroupBox(text, this);
      case ControlKind::kEdit: {
        auto* edit = new QLineEdit(this);
        if (c.flags & kCtlNumber) {
          edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        }
        return edit;
      }
      case ControlKind::kUpDown: {
        QLineEdit* buddy = widgets_.empty() ? nullptr : qobject_cast<QLineEdit*>(widgets_.back());
        return new UpDownControl(this, buddy, !(c.flags & kCtlNoThousands));
      }
      case ControlKind::kDropDownCombo: {
        auto* combo = new QComboBox(this);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);  // the field takes what is typed, no completion
        return combo;
      }
      case ControlKind::kRadioButton:
        return new QRadioButton(text, this);
      case ControlKind::kCheckBox:
        return new QCheckBox(text, this);
      case ControlKind::kPushButton:
      case ControlKind::kDefaultPushButton: {
        auto* button = new QPushButton(text, this);
        if (c.kind == ControlKind::kDefaultPushButton) button->setDefault(true);
        if (c.id == kIdDialogOk) connect(button, &QPushButton::clicked, this, [this] { onOk(); });
        if (c.id == kIdDialogCancel) connect(button, &QPushButton::clicked, this, &QDialog::reject);
        return button;
      }
      case ControlKind::kOwnerDrawButton:
        if (ownerDraw) {
          QWidget* w = ownerDraw(this);
          w->setParent(this);
          return w;
        }
        return new QWidget(this);
      case ControlKind::kIcon: {
        auto* icon = new QLabel(this);
        icon->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return icon;
      }
    }
    return new QWidget(this);
  }

  // An up-down control sits inside the right edge of its field, which gives it the room.
  void AttachUpDowns() {
    for (size_t i = 1; i < widgets_.size(); ++i) {
      if (layout_.controls[i].kind != ControlKind::kUpDown) continue;
      QWidget* buddy = widgets_[i - 1];
      const QRect field = buddy->geometry();
      const int width = widgets_[i]->width();
      widgets_[i]->setGeometry(field.right() + 1 - width, field.top(), width, field.height());
      buddy->resize(field.width() - width, field.height());
    }
  }

  // A label's or group box's mnemonic goes to the next control that takes the focus.
  void AttachMnemonics() {
    for (size_t i = 0; i < widgets_.size(); ++i) {
      const DialogControl& c = layout_.controls[i];
      if (c.kind != ControlKind::kLabel && c.kind != ControlKind::kGroupBox) continue;
      if (!Utf8(c.text).contains(QLatin1Char('&'))) continue;
      QWidget* target = nullptr;
      for (size_t j = i + 1; j < widgets_.size() && target == nullptr; ++j) {
        if (TakesFocus(layout_.controls[j].kind) && widgets_[j]->isEnabled()) target = widgets_[j];
      }
      if (auto* label = qobject_cast<QLabel*>(widgets_[i])) {
        label->setTextFormat(Qt::AutoText);  // plain text would show the "&"
        label->setBuddy(target);
      } else if (auto* box = dynamic_cast<MnemonicGroupBox*>(widgets_[i])) {
        box->target = target;
      }
    }
  }

  // Gives every control at least the room its text needs and sizes the dialog around them.
  void Fit(const DialogUnits& units) {
    int right = units.X(layout_.width);
    int bottom = units.Y(layout_.height);
    const int margin = units.X(5);
    for (size_t i = 0; i < widgets_.size(); ++i) {
      const DialogControl& c = layout_.controls[i];
      QWidget* w = widgets_[i];
      QRect r = w->geometry();
      QSize need;
      switch (c.kind) {
        case ControlKind::kLabel:
        case ControlKind::kRadioButton:
        case ControlKind::kCheckBox:
          need = w->sizeHint();
          break;
        case ControlKind::kGroupBox:
          need = QSize(w->minimumSizeHint().width(), 0);
          break;
        case ControlKind::kPushButton:
        case ControlKind::kDefaultPushButton: {
          const QFontMetrics metrics(w->font());
          need = QSize(metrics.horizontalAdvance(ShownText(c.text)) + 2 * metrics.averageCharWidth(), 0);
          break;
        }
        case ControlKind::kDropDownCombo:
          r.setHeight(w->sizeHint().height());  // the layout's height includes the open list
          break;
        case ControlKind::kIcon: {
          const int side = std::min(r.width(), r.height());
          auto* label = static_cast<QLabel*>(w);
          label->setPixmap(ProgramIcon(this).pixmap(side, side));
          break;
        }
        default:
          break;
      }
      if (need.width() > r.width()) r.setWidth(need.width());
      if (need.height() > r.height()) {  // grown about the middle
        r.translate(0, -(need.height() - r.height()) / 2);
        r.setHeight(need.height());
      }
      w->setGeometry(r);
      right = std::max(right, r.right() + 1 + margin);
      bottom = std::max(bottom, r.bottom() + 1 + margin);
    }
    setFixedSize(right, bottom);
  }

  const DialogLayout& layout_;
  std::vector<QWidget*> widgets_;  // in the layout's order
};

// --- colour dialog ---

class QtSamplePainter : public SamplePainter {
 public:
  QtSamplePainter(QPainter& painter, const QRect& area) : painter_(painter), area_(area) {}
  void FillBackground(ColorRef color) override { painter_.fillRect(area_, ToQColor(color)); }
  void OutputText(int x, int y, std::string_view text, ColorRef foreground, ColorRef background) override {
    const QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
    const QFontMetrics metrics = painter_.fontMetrics();
    painter_.fillRect(QRect(x, y, metrics.horizontalAdvance(shown), metrics.height()), ToQColor(background));
    painter_.setPen(ToQColor(foreground));
    painter_.drawText(x, y + metrics.ascent(), shown);
  }

 private:
  QPainter& painter_;
  QRect area_;
};

// The live sample: three lines of shell output in the working colours, in the system's
// fixed-pitch font rather than the terminal's.
class ColorSample : public QWidget {
 public:
  ColorSample(QWidget* parent, const ColorScheme& working, const SystemColors& system)
      : QWidget(parent), working_(working), system_(system) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    const QFontMetrics metrics = painter.fontMetrics();
    QtSamplePainter sample(painter, rect());
    DrawColorSample(sample, working_, system_, metrics.averageCharWidth(), metrics.height());
  }

 private:
  const ColorScheme& working_;
  const SystemColors& system_;
};

// Qt keeps the colour chooser's custom colours in a settings file that every Qt program of the
// user shares, reads them when the first chooser opens and writes them back whenever one closes.
// Velmora's custom colours live for the run only, so this process's Qt settings of the user
// scope are pointed at a path no file can have (below /dev/null): nothing is read from the
// user's file and nothing is written to it. Velmora keeps its own settings elsewhere and no other
// part of it uses Qt's.
void KeepQtSharedSettingsUntouched() {
  static const bool pointedAway = [] {
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat}) {
      QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
    }
    return true;
  }();
  (void)pointedAway;
}

// The colour chooser with the run's custom colours, which it may change; `chosen` is set when
// the user confirms.
bool PickColor(QWidget* owner, ColorRef initial, CustomColors& custom, ColorRef& chosen) {
  KeepQtSharedSettingsUntouched();
  for (int i = 0; i < static_cast<int>(custom.size()); ++i) QColorDialog::setCustomColor(i, ToQColor(custom[i]));
  QColorDialog chooser(ToQColor(initial), owner);
  chooser.setOption(QColorDialog::DontUseNativeDialog);  // the native one ignores the custom colours
  const bool confirmed = chooser.exec() == QDialog::Accepted;
  for (int i = 0; i < static_cast<int>(custom.size()); ++i) custom[i] = FromQColor(QColorDialog::customColor(i));
  if (confirmed) chosen = FromQColor(chooser.selectedColor());
  return confirmed;
}

constexpr int kColorButtons[] = {kIdTextForeground, kIdTextBackground, kIdSelectedForeground, kIdSelectedBackground};

// --- font chooser ---

// Fonts whose Latin letters all have one width. Besides the fonts Qt calls fixed-pitch this
// takes the dual-width ones (half-width Latin, full-width kana and kanji), which is what the
// Japanese terminal fonts are.
bool IsTerminalFamily(const QString& family) {
  if (QFontDatabase::isFixedPitch(family)) return true;
  static QHash<QString, bool> measured;  // the list is refilled with every writing system chosen
  if (auto known = measured.constFind(family); known != measured.constEnd()) return *known;
  const QFont font(family);
  bool even = QFontInfo(font).family() == family;  // a substitute would be measured
  const QFontMetrics metrics(font);
  const int width = metrics.horizontalAdvance(QLatin1Char('0'));
  for (const char c : {'i', 'W', 'm', '.', 'l'}) even = even && metrics.horizontalAdvance(QLatin1Char(c)) == width;
  measured.insert(family, even);
  return even;
}

// The font dialog's list of families: the list view whose rows are all font families.
QListView* FamilyList(QFontDialog& dialog) {
  const QStringList known = QFontDatabase::families();
  for (QListView* list : dialog.findChildren<QListView*>()) {
    const auto* model = qobject_cast<QStringListModel*>(list->model());
    if (model == nullptr || model->rowCount() == 0) continue;
    const QStringList rows = model->stringList();
    if (std::all_of(rows.begin(), rows.end(), [&](const QString& row) { return known.contains(row); })) return list;
  }
  return nullptr;
}

QStringListModel* FamilyModel(QFontDialog& dialog) {
  QListView* list = FamilyList(dialog);
  return list != nullptr ? qobject_cast<QStringListModel*>(list->model()) : nullptr;
}

// The font dialog's own fixed-pitch filter leaves out the dual-width fonts. Its family list is
// extended with them whenever it is filled (the writing system in use is the one its combo box
// shows, listed in the order of QFontDatabase::WritingSystem). They are appended, so that the
// rows the dialog has just selected keep their places.
void AddDualWidthFamilies(QFontDialog& dialog) {
  QStringListModel* families = FamilyModel(dialog);
  if (families == nullptr) return;
  QComboBox* writingSystems = dialog.findChild<QComboBox*>();
  auto extend = [families, writingSystems] {
    const auto system = static_cast<QFontDatabase::WritingSystem>(
        writingSystems != nullptr ? std::max(0, writingSystems->currentIndex()) : 0);
    QStringList shown = families->stringList();
    bool added = false;
    for (const QString& family : QFontDatabase::families(system)) {
      if (shown.contains(family) || QFontDatabase::isPrivateFamily(family) || QFontDatabase::isFixedPitch(family)) {
        continue;
      }
      if (!IsTerminalFamily(family)) continue;
      shown.append(family);
      added = true;
    }
    if (!added) return;
    const int before = families->rowCount();
    families->insertRows(before, static_cast<int>(shown.size()) - before);
    for (int row = before; row < shown.size(); ++row) families->setData(families->index(row), shown[row]);
  };
  QObject::connect(families, &QStringListModel::modelReset, &dialog, extend);
  extend();
}


}  // namespace

bool RunQtConnectDialog(QWidget* parent, ConnectDialogModel& model, ConnectDialogState& state) {
  LayoutDialog dialog(parent, ConnectDialogLayout());
  auto* host = dialog.Control<QComboBox>(kIdConnectHost);
  auto* autoClose = dialog.Control<QCheckBox>(kIdConnectAutoClose);
  auto* vt52 = dialog.Control<QRadioButton>(kIdConnectVt52);
  auto* vt100 = dialog.Control<QRadioButton>(kIdConnectVt100);
  QRadioButton* encodings[3] = {dialog.Control<QRadioButton>(kIdConnectEuc),
                                dialog.Control<QRadioButton>(kIdConnectSjis),
                                dialog.Control<QRadioButton>(kIdConnectUtf8)};

  auto showButtons = [&] {
    QButtonGroup* group = encodings[0]->group();
    group->setExclusive(false);  // an exclusive group cannot show none checked
    for (int i = 0; i < 3; ++i) encodings[i]->setChecked(state.encodingButton == i);
    group->setExclusive(true);
    (state.vt52 ? vt52 : vt100)->setChecked(true);
  };

  autoClose->setChecked(state.autoClose);
  for (const std::string& name : state.hosts) host->addItem(Cp932ToQString(name));
  host->setCurrentIndex(state.selected);
  host->setEditText(Cp932ToQString(state.hostField));
  showButtons();
  // Typing never moves the list selection: the combo box would otherwise select (and report) an
  // entry matching the typed text when the field loses the focus.
  QObject::disconnect(host->lineEdit(), &QLineEdit::editingFinished, host, nullptr);
  // The field holds what the host name can hold: typing or pasting past 63 bytes of code page
  // 932 is cut at the last whole character.
  QObject::connect(host->lineEdit(), &QLineEdit::textEdited, &dialog, [host](const QString& text) {
    const std::string bytes = QStringToCp932(text);
    const std::string kept = CutHostField(bytes);
    if (kept.size() < bytes.size()) host->lineEdit()->setText(Cp932ToQString(kept));
  });

  // The user chose a list entry (also the one already chosen, after typing in the field).
  QObject::connect(host, &QComboBox::activated, &dialog, [&](int index) {
    model.OnSelectionChanged(state, index);
    host->setEditText(Cp932ToQString(state.hostField));
    showButtons();
  });
  dialog.onOk = [&] {
    state.hostField = CutHostField(QStringToCp932(host->currentText()));
    state.selected = host->currentIndex();
    state.encodingButton.reset();
    for (int i = 0; i < 3; ++i) {
      if (encodings[i]->isChecked()) state.encodingButton = i;
    }
    state.vt52 = vt52->isChecked();
    state.autoClose = autoClose->isChecked();
    model.OnOk(state);
    dialog.accept();
  };
  return dialog.Run() == QDialog::Accepted;
}

bool RunQtTerminalSizeDialog(QWidget* parent, TerminalSizeDialogModel& model) {
  LayoutDialog dialog(parent, TerminalSizeDialogLayout());
  for (const TerminalSizeField& field : model.Init()) {
    auto* edit = dialog.Control<QLineEdit>(field.editId);
    edit->setMaxLength(field.textLimit);
    edit->setText(QString::fromStdString(field.text));
    if (auto* arrows = dialog.findChild<UpDownControl*>(ControlId(field.upDownId), Qt::FindDirectChildrenOnly)) {
      arrows->SetRange(field.lowest, field.highest);
    }
  }
  auto* backlog = dialog.Control<QLineEdit>(kIdSizeBacklog);
  QObject::connect(dialog.Control<QPushButton>(kIdSizeMaximum), &QPushButton::clicked, &dialog,
                   [&] { backlog->setText(QString::fromStdString(model.OnMaximum())); });
  bool inForce = false;
  dialog.onOk = [&] {
    auto text = [&](int id) { return dialog.Control<QLineEdit>(id)->text().toStdString(); };
    inForce = model.OnOk(text(kIdSizeColumns), text(kIdSizeRows), text(kIdSizeBacklog));
    dialog.done(inForce ? QDialog::Accepted : QDialog::Rejected);
  };
  dialog.Run();
  return inForce;
}

void RunQtAboutDialog(QWidget* parent) {
  LayoutDialog dialog(parent, AboutDialogLayout());
  dialog.Run();
}

bool RunQtColorDialog(QWidget* parent, ColorDialogModel& model, CustomColors& customColors,
                      const SystemColors& system) {
  QWidget* sample = nullptr;
  LayoutDialog dialog(parent, ColorDialogLayout(), [&](QWidget* owner) {
    sample = new ColorSample(owner, model.working, system);
    return sample;
  });
  auto* standard = dialog.Control<QCheckBox>(kIdColorDefault);
  auto enableButtons = [&] {
    for (int id : kColorButtons) dialog.Control<QPushButton>(id)->setEnabled(model.ColorButtonsEnabled());
  };
  standard->setChecked(model.DefaultChecked());
  enableButtons();
  QObject::connect(standard, &QCheckBox::clicked, &dialog, [&](bool checked) {
    model.OnDefaultClicked(checked);
    enableButtons();
    sample->update();
  });
  for (int id : kColorButtons) {
    QObject::connect(dialog.Control<QPushButton>(id), &QPushButton::clicked, &dialog, [&, id] {
      ColorRef chosen = *model.ColorOf(id);
      const bool confirmed = PickColor(&dialog, chosen, customColors, chosen);
      model.OnColorPicked(id, confirmed, chosen);
      sample->update();
    });
  }
  return dialog.Run() == QDialog::Accepted;
}

bool ChooseQtTerminalFont(QWidget* parent, LogFont& font) {
  QFontDialog chooser(parent);
  chooser.setOptions(QFontDialog::MonospacedFonts | QFontDialog::DontUseNativeDialog);
  AddDualWidthFamilies(chooser);
  const QFont initial = LogFontToQFont(font);
  chooser.setCurrentFont(initial);
  // A dual-width family is not among the rows the dialog picks its start from.
  if (QListView* list = FamilyList(chooser)) {
    const auto* model = static_cast<QStringListModel*>(list->model());
    const int row = static_cast<int>(model->stringList().indexOf(initial.family()));
    if (row >= 0 && list->currentIndex().row() != row) list->setCurrentIndex(model->index(row));
  }
  if (chooser.exec() != QDialog::Accepted) return false;
  const QFont chosen = chooser.selectedFont();
  const bool japanese = QFontDatabase::writingSystems(chosen.family()).contains(QFontDatabase::Japanese);
  font = QFontToLogFont(chosen, japanese ? 128 : 0);
  return true;
}

bool AskQtYesNo(QWidget* parent, const QString& text, bool questionIcon) {
  QMessageBox box(questionIcon ? QMessageBox::Question : QMessageBox::Warning, Utf8(kProgramName), text,
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void ShowQtMessage(QWidget* parent, const QString& text) {
  QMessageBox box(QMessageBox::Warning, Utf8(kProgramName), text, QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

QColor ToQColor(ColorRef color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

ColorRef FromQColor(const QColor& color) {
  const QColor rgb = color.toRgb();
  return Rgb(static_cast<uint8_t>(rgb.red()), static_cast<uint8_t>(rgb.green()), static_cast<uint8_t>(rgb.blue()));
}

}  // namespace velmora
