#pragma once
// Bound controls ("switchers"): self-painted controls that carry the path of one setting
// of the settings tree, mirror its handler once bound, and write user actions back into
// it. A panel gives the switchers of one side-menu page a common path prefix.
//
// A page declares its switchers on a panel; each binds when the panel's RegisterSwitchers
// runs (the side menu does it when the page opens):
//
//   auto* panel = new TRC_RightMenuPanel(page, "Acq", "Acquisition");
//   panel->Add<TRC_RadioSwitcher>({.Mnemonics = "FitTo", .Caption = "Fit to",
//                                  .Items = {"Multi", "Single"}, .Columns = 2});
//   panel->Add<TRC_EditSwitcher>({.Mnemonics = "NAcq", .Caption = "Acquisitions"});
//   panel->RegisterSwitchers();

#include <QGroupBox>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "controls/look.h"
#include "framework/settings/handler.h"
#include "framework/util/errors.h"

class QPainter;

namespace norv {

// A switcher as a page declares it; fields left out keep the kind's defaults.
struct TSwitcherFields {
  // Path of the handler, relative to the panel's group ("FitTo" in group "Acq" is
  // Acq:FitTo), or absolute after a ':' (":Acq:FitTo"); "None Handler" never binds.
  std::string Mnemonics = {};
  QString Caption = {};
  // Place in the parent. In a panel a negative Top puts it below the switcher added
  // before; a negative Left keeps the kind's default.
  int Left = -1;
  int Top = -1;
  int Width = 0;  // 0: the kind's default
  int Height = 0;
  // Buttons, list rows or pop-up menu lines; button columns (0: the kind's default).
  QStringList Items = {};
  int Columns = 0;
  int HelpContext = 0;
  std::optional<bool> WithHot = {};
  // Buttons of choices: drawn as push buttons; each with its own help number.
  bool ViewAsButton = false;
  bool HelpSeparate = false;
  // The control's name: the key of its texts in language files. Side-menu pages name a
  // switcher after its kind and mnemonic when left empty ("rswMode").
  std::string Name = {};
  QString Hint = {};
  // Items the program fills at run time (a list of languages): only the caption is
  // translated.
  bool RunTimeItems = false;
};

// Exact texts of the binding's design errors.
inline constexpr const char* kNoneHandler = "None Handler";
inline constexpr const char* kRegistrationRepeated = "Switchers Registation repeated";

// A 3-D frame of one pixel on `r` (right and bottom edge inside r): the top and left
// edge in topLeft, the bottom and right edge (corners included) in bottomRight; r then
// shrinks by one on every side.
void DrawFrame3D(QPainter& painter, QRect& r, const QColor& topLeft, const QColor& bottomRight);

class TRC_Switcher : public QWidget, public ISwitcher {
  Q_OBJECT
 public:
  explicit TRC_Switcher(QWidget* parent);
  // Unbinds, wherever the switcher sits: a handler never calls a freed control.
  ~TRC_Switcher() override;

  // --- binding ---
  // The full settings path: empty for an empty Mnemonics; Mnemonics without its ':' when
  // absolute; in a panel with a group G: "*" + M for G "*", else G + ":" + M; else M.
  std::string GetFullMnemonic() const;
  // Binds to the handler at the full path (none: unbound, no error). With checkRepeat a
  // bound switcher fails; without it a switcher moves to another handler.
  void RegisterInHandler(bool checkRepeat);
  void UnregisterFromHandler();
  THandler* GetHandler() const { return handler_; }
  const std::string& Mnemonics() const { return mnemonics_; }
  // A bound switcher moves to the new path at once.
  void SetMnemonics(const std::string& mnemonics);

  // --- look ---
  const QString& Caption() const { return caption_; }
  void SetCaption(const QString& caption);
  bool WithHot() const { return with_hot_; }
  void SetWithHot(bool withHot);
  bool NoFrame() const { return no_frame_; }
  void SetNoFrame(bool noFrame);
  int HelpContext() const { return help_context_; }
  void SetHelpContext(int helpContext);
  // The control's colour (the content's background); the button face unless set.
  QColor Color() const;
  void SetColor(const QColor& color);
  // Has the keyboard focus (itself or one of its buttons).
  bool IsFocused() const { return focused_; }
  // The font of the caption strip: the control's, or a narrower one for a long caption.
  QFont CaptionFont() const;
  // The inside of the frames and caption strip, where each kind draws.
  QRect ContentRect() const;

  // Fired at the end of every update from the handler, and by passive command buttons.
  std::function<void(TRC_Switcher&)> OnUpdateMe;
  // Free for the owning page (a negative tag keeps an edit's click from opening the
  // keypad).
  int Tag = 0;
  // Items filled by the program at run time: language files do not translate them.
  bool RunTimeItems = false;

  // Called by the handler on every change of its value or enabling; each kind copies the
  // handler's state, then runs this base version last (enabled state, OnUpdateMe).
  void UpdateFromHandler() override;
  void HandlerReplaced(THandler* replacement) override { handler_ = replacement; }

  // Applies a declaration: each kind takes its own fields, then the common ones.
  virtual void Apply(const TSwitcherFields& fields);

 protected:
  // Runs right after a bind; the kinds check the handler's class and item count there.
  virtual void HandlerBound() {}
  virtual void PaintContent(QPainter& painter, const QRect& content);
  // Places the kind's child widgets in the content rectangle (after a resize or a change
  // of the frame).
  virtual void LayoutContent() {}
  // The handler as the kind's class; fails with `failure` when it is another one.
  template <class H>
  H& HandlerAs(const char* failure) const {
    H* handler = dynamic_cast<H*>(handler_);
    if (!handler) throw EAssertion(failure);
    return *handler;
  }
  QColor Sys(TSysColor color) const { return SysColor(palette(), color); }

  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void childEvent(QChildEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FollowFocus();

  std::string mnemonics_;
  QString caption_;
  THandler* handler_ = nullptr;
  bool with_hot_ = true;
  bool no_frame_ = false;
  bool focused_ = false;
  int help_context_ = 0;
  std::optional<QColor> color_;
};

// The group box that holds the switchers of one side-menu page and gives them a common
// path prefix. Unbinds its switchers before they go.
class TRC_RightMenuPanel : public QGroupBox {
  Q_OBJECT
 public:
  // Created hidden, 111 x 426 at (522, 27); the side menu places and shows it.
  explicit TRC_RightMenuPanel(QWidget* parent, const std::string& groupMnemonics = {},
                              const QString& caption = {});
  ~TRC_RightMenuPanel() override;

  const std::string& GroupMnemonics() const { return group_; }
  // A different group re-binds every switcher of the panel at once.
  void SetGroupMnemonics(const std::string& group);
  bool WithoutFrame() const { return without_frame_; }
  void SetWithoutFrame(bool withoutFrame);
  int HelpContext() const { return help_context_; }
  void SetHelpContext(int helpContext);
  // The font of the caption: the panel's, or a narrower one for a long caption.
  QFont TitleFont() const;

  // Binds every unbound switcher of the panel (failing for none bound twice).
  void RegisterSwitchers();
  // Binds every switcher of the panel again, bound or not.
  void RebindSwitchers();
  void UnregisterSwitchers();
  // The switchers placed directly on the panel, in the order they were added.
  std::vector<TRC_Switcher*> Switchers() const;

  // Adds a switcher declared by `fields`; a negative Top places it below the last one.
  template <class T>
  T& Add(TSwitcherFields fields = {}) {
    return static_cast<T&>(AddMade([](QWidget* parent, const TSwitcherFields& s) { return new T(parent, s); },
                                   std::move(fields)));
  }
  using TMakeSwitcher = std::function<TRC_Switcher*(QWidget* parent, const TSwitcherFields& fields)>;
  TRC_Switcher& AddMade(const TMakeSwitcher& make, TSwitcherFields fields);
  // Where the next switcher goes when its Top is left out.
  int NextTop() const { return next_top_; }

  static constexpr int kFirstTop = 16;  // below the panel's caption
  static constexpr int kCaptionLeft = 6;
  static constexpr int kSwitcherGap = 2;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::string group_;
  bool without_frame_ = false;
  int help_context_ = 0;
  int next_top_ = kFirstTop;
};

}  // namespace norv
