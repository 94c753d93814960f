#include "shell/ui/keypad_form.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QShortcut>
#include <algorithm>
#include <iterator>

#include "controls/controls_state.h"
#include "controls/look.h"
#include "framework/settings/choice_handlers.h"
#include "shell/keypad.h"

namespace norv {

namespace {

struct TKeySpec {
  const char* Name;
  const char* Caption;  // UTF-8
  int Key;
};

// Rows of four: digits and signs on the left, multipliers and editing on the right.
const TKeySpec kKeys[] = {
    {"CalcSet7", "7", '7'},     {"CalcSet8", "8", '8'},     {"CalcSet9", "9", '9'},
    {"Button1", "T", 't'},      {"CalcSet4", "4", '4'},     {"CalcSet5", "5", '5'},
    {"CalcSet6", "6", '6'},     {"Button2", "G", 'g'},      {"CalcSet1", "1", '1'},
    {"CalcSet2", "2", '2'},     {"CalcSet3", "3", '3'},     {"Button3", "M", 'a'},
    {"CalcSet0", "0", '0'},     {"CalcSetPoint", ".", '.'}, {"CalcSetMinus", "-", '-'},
    {"Button4", "K", 'k'},      {"CalcSetPica", "p", 'p'},  {"CalcSetNano", "n", 'n'},
    {"CalcSetMicro", "µ", 'u'}, {"CalcSetMili", "m", 'm'},  {"CalcExp", "e", 'e'},
    {"CalcClr", "Clr", 27},     {"CalcBS", "←", 'z'},       {"CalcEnter", "X", 'x'},
};
constexpr int kKeyWidth = 44, kKeyHeight = 26, kGap = 4, kColumns = 4;
constexpr int kFormWidth = kGap + kColumns * (kKeyWidth + kGap);

}  // namespace

TNewCalcFrm::TNewCalcFrm(QWidget* mainWindow) : TLanguageForm(mainWindow, Qt::Dialog) {
  setObjectName("NewCalcFrm");
  setWindowTitle("Keypad");
  setWindowModality(Qt::ApplicationModal);
  setWindowOpacity(233.0 / 255.0);

  panel_ = new TRC_RightMenuPanel(this);
  panel_->setObjectName("rmpCalc");
  panel_->SetWithoutFrame(true);
  // As high as an edit of the pages, so that its value box and arrows show whole.
  edit_ = &panel_->Add<TRC_EditSwitcher>(
      {.Left = kGap, .Top = kGap, .Width = kFormWidth - 2 * kGap, .Name = "RC_Edit"});
  edit_->setObjectName("RC_Edit");
  edit_->Tag = -1;  // a click on the keypad's own edit opens no second keypad
  // OK enters what its field shows, wherever the click on OK or a choice below put the focus.
  edit_->SetTypingOutlivesFocus(true);
  int y = 2 * kGap + edit_->height();
  for (size_t i = 0; i < std::size(kKeys); ++i) {
    const TKeySpec& k = kKeys[i];
    auto* button = new QPushButton(QString::fromUtf8(k.Caption), panel_);
    button->setObjectName(k.Name);
    button->setFocusPolicy(Qt::NoFocus);
    const int column = static_cast<int>(i) % kColumns, row = static_cast<int>(i) / kColumns;
    button->setGeometry(kGap + column * (kKeyWidth + kGap), y + row * (kKeyHeight + kGap), kKeyWidth,
                        kKeyHeight);
    const QChar key(static_cast<char16_t>(k.Key));
    connect(button, &QPushButton::clicked, this, [this, key] { PressKey(key); });
  }
  y += static_cast<int>((std::size(kKeys) + kColumns - 1) / kColumns) * (kKeyHeight + kGap);
  const int half = (kFormWidth - 3 * kGap) / 2;
  resolution_ = &panel_->Add<TRC_RadioSwitcher>({.Mnemonics = ":Shadow:Resolution",
                                                 .Caption = "Resolution",
                                                 .Left = kGap,
                                                 .Top = y,
                                                 .Width = half,
                                                 .Items = {"Fine", "Coarse"},
                                                 .Name = "rswResolution"});
  resolution_->setObjectName("rswResolution");
  setTo_ = &panel_->Add<TRC_CheckSwitcher>({.Mnemonics = ":Shadow:SetTo",
                                            .Caption = "Set to",
                                            .Left = 2 * kGap + half,
                                            .Top = y,
                                            .Width = half,
                                            .Items = {"Min", "Mid", "Max"},
                                            .Name = "rswSetTo"});
  setTo_->setObjectName("rswSetTo");
  y += std::max(resolution_->height(), setTo_->height()) + kGap;
  ok_ = new QPushButton("OK", this);
  ok_->setObjectName("Plavno_OK");
  ok_->setDefault(true);
  ok_->setGeometry(kGap, y, half, kKeyHeight);
  auto* cancel = new QPushButton("Cancel", this);
  cancel->setObjectName("Plavno_Cancel");
  cancel->setGeometry(2 * kGap + half, y, half, kKeyHeight);
  connect(ok_, &QPushButton::clicked, this, [this] { GuardedCall([this] { Ok(); }); });
  connect(cancel, &QPushButton::clicked, this, [this] { GuardedCall([this] { Cancel(); }); });
  // Before any control of the keypad (its edit would take Escape as the end of typing), and
  // wherever the keyboard is: the window manager may leave it on the main window.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr, Qt::ApplicationShortcut);
  connect(escape, &QShortcut::activated, this, [this] { GuardedCall([this] { Cancel(); }); });
  panel_->setGeometry(0, 0, kFormWidth, y);
  panel_->show();
  setFixedSize(kFormWidth, y + kKeyHeight + kGap);

  KeypadState.SetFine.Set([this](bool fine) { edit_->SetFine(fine); });
  ControlsState.EditKeypadHook.Set([this](TRC_EditSwitcher& switcher) { ShowFor(switcher); });
}

TNewCalcFrm::~TNewCalcFrm() {
  ControlsState.EditKeypadHook.Reset();
  KeypadState.SetFine.Reset();
  if (bound_) EndKeypadGroup(false);
}

void TNewCalcFrm::ShowFor(TRC_EditSwitcher& switcher) {
  const std::string path = switcher.GetFullMnemonic();
  if (path.empty() || !switcher.GetHandler()) return;
  if (bound_) Finish(true);  // another control while open: the open edit ends first
  setWindowTitle(switcher.Caption());
  FitTitle();
  edit_->SetCaption(switcher.Caption());
  edit_->SetMnemonics(":" + path);
  edit_->RegisterInHandler(false);
  // Bound once: the nodes outlive the keypad's openings.
  if (!resolution_->GetHandler()) panel_->RegisterSwitchers();
  bound_ = true;
  if (KeypadState.Resolution) {
    KeypadState.Resolution->SetDisabled(!switcher.FineAllowed());
    KeypadState.Resolution->SetIndexByProgram(switcher.FineAllowed() && switcher.Fine() ? 0 : 1);
  }
  edit_->SetFine(switcher.FineAllowed() && switcher.Fine());
  if (KeypadState.SetTo) KeypadState.SetTo->SetMaskByProgram(0);
  BeginKeypadGroup(path);
  if (QWidget* owner = parentWidget()) {
    const QPoint centre = owner->mapToGlobal(owner->rect().center());
    move(centre - QPoint(width() / 2, height() / 2));
  }
  show();
  activateWindow();
}

void TNewCalcFrm::FitTitle() {
  // The keys keep their size and stay in the middle of a window widened for a long title.
  const int width = std::max(kFormWidth, TitleBarWidth(windowTitle()));
  const int shift = (width - kFormWidth) / 2 - panel_->x();
  for (QWidget* part : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    part->move(part->pos() + QPoint(shift, 0));
  setFixedWidth(width);
}

void TNewCalcFrm::PressKey(QChar key) {
  if (bound_) edit_->KeyInput(key);
}

void TNewCalcFrm::Ok() {
  // A number still being typed is what the user means to enter, as Enter enters it.
  if (bound_ && edit_->IsTyping() && edit_->KeyInput('\r')) return Beep();  // not a number yet
  Finish(false);
}

void TNewCalcFrm::Cancel() { Finish(true); }

void TNewCalcFrm::Finish(bool cancel) {
  if (!bound_) {
    hide();
    return;
  }
  bound_ = false;
  if (edit_->IsTyping()) edit_->KeyInput(QChar(0x1B));
  edit_->UnregisterFromHandler();
  hide();
  EndKeypadGroup(cancel);
}

QPushButton* TNewCalcFrm::KeyButton(const QString& name) const { return findChild<QPushButton*>(name); }

void TNewCalcFrm::keyPressEvent(QKeyEvent* event) {
  GuardedCall([&] {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) return Ok();
    const QString text = event->text();
    if (event->key() == Qt::Key_Backspace) return PressKey('z');
    if (!text.isEmpty() && text[0].isPrint()) PressKey(text[0]);
  });
}

void TNewCalcFrm::closeEvent(QCloseEvent* event) {
  // The close box takes the changes back as Cancel does.
  GuardedCall([this] {
    if (bound_) Finish(true);
  });
  event->accept();
}

}  // namespace norv
