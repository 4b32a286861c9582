#pragma once

#include <QByteArray>
#include <QString>

namespace hy {

// Start at login, through an XDG autostart entry of the user's:
// $XDG_CONFIG_HOME/autostart/example.heyinsoft.hytune.desktop (usually
// ~/.config/autostart/). The entry starts the program with kHiddenOption, in
// the notification area without showing the window.
inline constexpr const char* kHiddenOption = "--hidden";

// Where the entry is, whether it is there or not.
QString autostartEntryPath();

// Whether the desktop will start the program at login: the entry is there and
// not turned off. Hidden=true turns it off (the XDG autostart rule), and so
// does X-GNOME-Autostart-enabled=false (what GNOME's own settings write).
// Read from the file each time, so an entry the user removed or changed by
// hand counts as it is now.
bool isAutostartEnabled();

// Writes the entry for `program` (the absolute path of the executable, as
// QCoreApplication::applicationFilePath() gives it), replacing one that is
// there, or removes it. The entry is written whole or not at all (QSaveFile).
// Returns an empty string on success, otherwise what went wrong in Chinese,
// for the window to show.
QString setAutostart(bool on, const QString& program);

// The entry's text for `program`.
QByteArray autostartEntry(const QString& program);
// `argument` as an argument of a desktop entry's Exec key: quoted where the
// desktop entry format asks for it, with '%' doubled, and escaped as a
// string value.
QString execArgument(const QString& argument);

} // namespace hy
