#pragma once

#include <QString>

class QWidget;

namespace hy {

// The program's title, shown on the task bar and as the caption of its boxes.
QString applicationTitle();

// The error box: the error's text, titled with the application title. Modal;
// timers and ticks go on while it is open.
void showErrorBox(QWidget* parent, const QString& text);

// The text of whatever exception is in flight (inside a catch block).
QString currentExceptionText();

// Runs a handler; an error it raises is shown in the error box and the
// program goes on.
template <typename F>
void guarded(QWidget* parent, F&& handler)
{
    try {
        handler();
    } catch (...) {
        showErrorBox(parent, currentExceptionText());
    }
}

} // namespace hy
