#pragma once

#include <QApplication>

namespace hy {

// The application object: its title and version, the window font's
// substitutes, Qt's own texts in Chinese, and the error box for any error a
// handler lets escape.
class Application final : public QApplication
{
public:
    Application(int& argc, char** argv);
    // What the windows need before the first is built: the fonts and Qt's
    // own texts in Chinese. Done while the bus is asked whether another copy
    // runs, so also by a start that then only hands its command over.
    void prepareWindows();
    bool notify(QObject* receiver, QEvent* event) override;
};

// "宋体" is not on Linux desktops: the Song face embedded in the program
// (the window's own characters) answers to that name, and Qt looks for
// installed faces only for a character it lacks, when one is drawn. Should
// the embedded face be missing, "宋体" maps to a Song-style CJK face when one
// is installed and to a CJK sans otherwise, so every Chinese text has glyphs.
void installFontSubstitutes();
// The whole interface is Chinese, whatever the desktop's language: so are
// Qt's own texts (the buttons of message boxes, the file dialog, the context
// menus of editable boxes), from Qt's Simplified Chinese translation.
void installQtTranslations();
// The family name of the embedded Song face.
QString embeddedSongFamily();

} // namespace hy
