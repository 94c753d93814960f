#pragma once
// Help contexts of controls. A control keeps the context it was designed with; every other
// named control of a form gets one of its own when the form is translated, numbered from a
// base that follows from the form's name, so a build's help set and the running program
// agree on the numbers. A control without a context shows the topic of its nearest
// container that has one (the form at least).

#include <QPoint>
#include <QString>
#include <QWidget>

namespace norv {

// The control's context: the one it was designed with, else the one it was given; 0: none.
int HelpContextOf(const QWidget* control);
// Gives a widget that has no context of its own design (a form, a dialog's button) one.
void SetHelpContextOf(QWidget* control, int context);
// The first context of a form's controls (the form's own topic).
int HelpFormBase(const std::string& section);
// Gives every named control of the form without a context one (the form the base).
void AssignHelpContexts(QWidget* form);
// The context of the innermost control at a screen point below `control` (disabled ones
// included), or of its nearest container with one; 0 when none has one.
int FindHelpContextAtPos(QWidget* control, QPoint globalPos);

}  // namespace norv
