#pragma once
// Stand-ins for the main window's bound controls until the control library provides
// them: one factory per kind of place (main command, permanent control, main-menu button,
// side-menu panel). The window lays out whatever the factories return, so a real control
// replaces a stand-in by changing its factory alone.
//
// The stand-ins work through the settings tree: a main command runs its node's action, a
// permanent control shows its node's value, a main-menu button reports its presses.

#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>

namespace norv {

class TSwitcherLink;
class TMainCommandHandler;

// A main command ("*Run"); a click runs it as its switcher would, a right click offers
// its items.
class TMainCommandPlaceholder : public QPushButton {
  Q_OBJECT
 public:
  TMainCommandPlaceholder(const std::string& path, const QString& caption, const QString& hint,
                          QWidget* parent);
  ~TMainCommandPlaceholder() override;
  // Binds to the node (after the registration); until then a click does nothing.
  void Bind();
  // The click of the command (also the function keys).
  void Press();
  const std::string& Path() const { return path_; }

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void Refresh();
  TMainCommandHandler* Handler() const;

  std::string path_;
  std::unique_ptr<TSwitcherLink> link_;
};

// A permanent control: its caption over its node's value.
class TValuePlaceholder : public QLabel {
  Q_OBJECT
 public:
  TValuePlaceholder(const std::string& path, const QString& caption, QWidget* parent);
  ~TValuePlaceholder() override;
  void Bind();

 private:
  void Refresh();

  std::string path_;
  QString caption_;
  std::unique_ptr<TSwitcherLink> link_;
};

// A main-menu button; pressed with the left button it asks for the left panel.
class TMainMenuPlaceholder : public QPushButton {
  Q_OBJECT
 public:
  TMainMenuPlaceholder(int code, const QString& caption, QWidget* parent);
  int Code() const { return code_; }
  std::function<void(int code, bool leftButton)> OnPress;
  // The page of this button is open on the left (1) or right (0) panel.
  void SetOpen(int panel, bool open);

 protected:
  void mousePressEvent(QMouseEvent* event) override;

 private:
  int code_;
  bool open_[2] = {false, false};
};

// The factories the window uses.
QWidget* CreateMainCommandControl(QWidget* parent, const std::string& path, const QString& caption,
                                  const QString& hint);
QWidget* CreatePermanentControl(QWidget* parent, const std::string& path, const QString& caption);
TMainMenuPlaceholder* CreateMainMenuButton(QWidget* parent, int code, const QString& caption);
QFrame* CreateSideMenuPanel(QWidget* parent, bool left);
// Binds a control made by the factories to its node (at the deferred start-up).
void BindPanelControl(QWidget* control);

}  // namespace norv
