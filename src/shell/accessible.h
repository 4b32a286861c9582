#pragma once

#include <QString>

class QLabel;

namespace hy {

// What assistive technology (a screen reader, through AT-SPI) finds of the
// window's controls: a combo box or a label with an accessible name of its
// own is announced by that name, and what it shows is its text (the text
// interface) and its value. Labels still name the boxes they stand before.
// Once per process, before the window is built.
void installAccessibleNames();

// Puts `text` on a label that shows the program's state (the time left, a
// tip, a result) and tells assistive technology that it changed, when it did.
void showText(QLabel& label, const QString& text);

} // namespace hy
