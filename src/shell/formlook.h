#pragma once

#include <QFont>
#include <QString>

class QDateTimeEdit;
class QLabel;
class QWidget;

namespace Ui {
class TForm1;
}

namespace hy {

// "宋体" at a pixel size, the window's own face.
QFont designFont(int pixels, bool bold = false, bool underline = false);

// The window's frame, size, icon, colours and the controls' own fonts, and
// what the layout file cannot say (an editable box with no entry chosen).
void applyDesignLook(QWidget& form, Ui::TForm1& ui);

// A hint that shows its text as it stands: tool tips would render anything
// that looks like markup. Empty for an empty text.
QString plainToolTip(const QString& text);

// A click into a field of the time picker (hours, minutes, seconds) selects
// the field, so that the digits typed next replace it, as in any time editor.
void selectFieldOnClick(QDateTimeEdit& picker);

// The about picture, decoded at the size of its box the first time it is
// asked for.
void showAboutPicture(QLabel& box);

} // namespace hy
