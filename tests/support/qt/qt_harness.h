#pragma once
// What Qt tests share: one fixed look for every run (Fusion style and palette, the
// program's font), real mouse and key events sent to widgets, and pixels of a widget as
// it paints itself. A test builds its widgets on a TestWindow.
//
//   TestWindow window;
//   auto* edit = new TRC_EditSwitcher(&window, {...});
//   window.ShowActive();
//   Click(edit, edit->ArrowRect(0).center());
//   EXPECT_EQ(PixelOf(edit, 5, 5), QColor(...));

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <string>

namespace norv::test {

// Called once by the Qt test main after the application exists.
void SetUpQtLook();

// A top-level window of 640 x 480 for the widgets under test.
class TestWindow : public QWidget {
 public:
  TestWindow();
  // Shows the window and makes it the active one, so that focus works.
  void ShowActive();
};

// Mouse events at `pos` in `widget`'s coordinates, delivered to the deepest child there
// (as a real click would be); a press keeps its target until the release.
void MousePress(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
void MouseMove(QWidget* widget, QPoint pos);
void MouseRelease(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
void Click(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton);
// Press at `from`, moves in steps to `to`, release there.
void Drag(QWidget* widget, QPoint from, QPoint to);

// Key events sent to `widget`; the text is what the key types ("" for none).
void KeyDown(QWidget* widget, int key, const QString& text = {}, bool autoRepeat = false);
void KeyUp(QWidget* widget, int key, const QString& text = {});
void PressKey(QWidget* widget, int key, const QString& text = {});
// One key per character, as typed.
void TypeText(QWidget* widget, const QString& text);

// The widget as it paints itself now.
QImage Grab(QWidget* widget);
QColor PixelOf(QWidget* widget, int x, int y);
// Pixels of `colour` inside `area` of the image.
int CountPixels(const QImage& image, const QRect& area, const QColor& colour);

// Writes the image as name.png into the folder NORV_PNG_DIR names; nothing when unset.
void MaybeWritePng(const QImage& image, const std::string& name);

}  // namespace norv::test
