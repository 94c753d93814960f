#include "shell/ui/panel_placeholders.h"

#include <QMenu>
#include <QMouseEvent>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "instrument/acquisition/acquisition_state.h"
#include "platform/entry_guard.h"

namespace norv {

namespace {

std::string Trimmed(std::string text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace

// --- main command ---

TMainCommandPlaceholder::TMainCommandPlaceholder(const std::string& path, const QString& caption,
                                                 const QString& hint, QWidget* parent)
    : QPushButton(caption, parent), path_(path) {
  setToolTip(hint);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QPushButton::clicked, this, [this] { RunGuarded([this] { Press(); }); });
}

TMainCommandPlaceholder::~TMainCommandPlaceholder() = default;

TMainCommandHandler* TMainCommandPlaceholder::Handler() const {
  return link_ ? dynamic_cast<TMainCommandHandler*>(link_->Bound()) : nullptr;
}

void TMainCommandPlaceholder::Bind() {
  THandler* handler = RootSpider ? RootSpider->FindHandler(path_) : nullptr;
  link_ = std::make_unique<TSwitcherLink>([this] { Refresh(); });
  link_->Bind(dynamic_cast<TMainCommandHandler*>(handler));
}

void TMainCommandPlaceholder::Refresh() {
  TMainCommandHandler* h = Handler();
  setCheckable(h != nullptr && h->GetState().BoundToBool);
  if (isCheckable()) setChecked(h->GetBool());
}

void TMainCommandPlaceholder::Press() {
  TMainCommandHandler* h = Handler();
  if (h == nullptr) return;
  if (UndoBuffer) UndoBuffer->BeginStep();
  const TMainCommandHandler::TState state = h->GetState();
  if (state.BoundToBool && state.HasOnOffPair) {
    // Stop/Single: stops a run, else takes one acquisition.
    h->ExecCmd(RunFlag ? "STOP" : "SINGLE", false, false);
  } else if (state.BoundToBool) {
    h->SetBySwitcher(1);
  } else {
    h->SetBySwitcher(-1);
  }
  Refresh();
}

void TMainCommandPlaceholder::mousePressEvent(QMouseEvent* event) {
  TMainCommandHandler* h = Handler();
  if (event->button() != Qt::RightButton || h == nullptr || h->MenuItems().empty()) {
    QPushButton::mousePressEvent(event);
    return;
  }
  QMenu menu(this);
  const TItemList& items = h->MenuItems();
  for (size_t i = 0; i < items.size(); ++i) {
    QAction* action = menu.addAction(QString::fromStdString(items[i]));
    action->setCheckable(true);
    action->setChecked(static_cast<int>(i) == h->GetDefaultItem());
    connect(action, &QAction::triggered, this, [this, i] {
      RunGuarded([this, i] {
        if (TMainCommandHandler* handler = Handler()) handler->SetBySwitcher(static_cast<int32_t>(i));
      });
    });
  }
  menu.exec(event->globalPosition().toPoint());
}

// --- permanent control ---

TValuePlaceholder::TValuePlaceholder(const std::string& path, const QString& caption, QWidget* parent)
    : QLabel(parent), path_(path), caption_(caption) {
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  setAlignment(Qt::AlignCenter);
  QFont small = font();
  small.setPixelSize(9);
  setFont(small);
  setText(caption_);
  setToolTip(QString::fromStdString(path));
}

TValuePlaceholder::~TValuePlaceholder() = default;

void TValuePlaceholder::Bind() {
  link_ = std::make_unique<TSwitcherLink>([this] { Refresh(); });
  link_->Bind(RootSpider ? RootSpider->FindHandler(path_) : nullptr);
}

void TValuePlaceholder::Refresh() {
  THandler* h = link_ ? link_->Bound() : nullptr;
  std::string value;
  if (h != nullptr) RunGuarded([&] { value = Trimmed(h->ExecCmd(std::string(), true, false)); });
  setText(caption_ + "\n" + QString::fromStdString(value));
  setEnabled(h != nullptr && !h->IsDisabled());
}

// --- main-menu button ---

TMainMenuPlaceholder::TMainMenuPlaceholder(int code, const QString& caption, QWidget* parent)
    : QPushButton(caption, parent), code_(code) {
  setFocusPolicy(Qt::NoFocus);
  QFont small = font();
  small.setPixelSize(10);
  setFont(small);
}

void TMainMenuPlaceholder::SetOpen(int panel, bool open) {
  open_[panel != 0 ? 1 : 0] = open;
  setStyleSheet(open_[0] || open_[1] ? "font-weight: bold" : "");
}

void TMainMenuPlaceholder::mousePressEvent(QMouseEvent* event) {
  if (!isEnabled()) return;
  const bool left = event->button() == Qt::LeftButton;
  if (OnPress) RunGuarded([&] { OnPress(code_, left); });
  event->accept();
}

// --- factories ---

QWidget* CreateMainCommandControl(QWidget* parent, const std::string& path, const QString& caption,
                                  const QString& hint) {
  return new TMainCommandPlaceholder(path, caption, hint, parent);
}

QWidget* CreatePermanentControl(QWidget* parent, const std::string& path, const QString& caption) {
  return new TValuePlaceholder(path, caption, parent);
}

TMainMenuPlaceholder* CreateMainMenuButton(QWidget* parent, int code, const QString& caption) {
  return new TMainMenuPlaceholder(code, caption, parent);
}

QFrame* CreateSideMenuPanel(QWidget* parent, bool left) {
  auto* panel = new QFrame(parent);
  panel->setObjectName(left ? "LeftSideMenu" : "RightSideMenu");
  panel->setFrameShape(QFrame::StyledPanel);
  panel->setFrameShadow(QFrame::Sunken);
  return panel;
}

void BindPanelControl(QWidget* control) {
  if (auto* command = dynamic_cast<TMainCommandPlaceholder*>(control)) command->Bind();
  if (auto* value = dynamic_cast<TValuePlaceholder*>(control)) value->Bind();
}

}  // namespace norv
