#pragma once
// A button of the main window's menu bar. It opens nothing itself (the main window's
// mouse handler decides where the menu goes); its colour shows in which side panels its
// menu is open.

#include <QString>
#include <QWidget>
#include <functional>

namespace norv {

enum TButtonOfMainMenuState : uint8_t { bmmsOff, bmmsLeft, bmmsRight, bmmsBoth };

class TButtonOfMainMenu : public QWidget {
  Q_OBJECT
 public:
  explicit TButtonOfMainMenu(QWidget* parent, const QString& caption = {});

  TButtonOfMainMenuState State() const { return state_; }
  void SetState(TButtonOfMainMenuState state);
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  // The caption's font: the narrow face when the button is narrow (a small window).
  QFont CaptionFont() const;
  // Views of the state; a disabled button reads false for both.
  bool LeftMenuOn() const;
  bool RightMenuOn() const;
  void SetLeftMenuOn(bool on);
  void SetRightMenuOn(bool on);

  // The main window's handler of a press: it decides which side panel opens the menu.
  std::function<void(TButtonOfMainMenu&, Qt::MouseButton)> OnMouseDown;

  // The face colour of a state, and of a disabled button.
  static QColor FaceColor(TButtonOfMainMenuState state, bool enabled);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void changeEvent(QEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  TButtonOfMainMenuState state_ = bmmsOff;
  QString caption_;
};

}  // namespace norv
