#pragma once

#include "core/countdown/length.h"
#include "core/remote/remotecommand.h"

#include <QString>
#include <QStringList>

namespace hy {

// What the command line asks for. Option names are English, everything said
// is Chinese: Qt's own words (the usage line, its error messages) come from
// Qt's translation, so the texts are right only once it is installed.
struct CommandLine
{
    enum class Kind
    {
        Run,     // start the program or hand `command` to the copy that runs
        Help,    // print `text` to stdout, exit 0
        Version, // print `text` to stdout, exit 0
        Error,   // print `text` (what is wrong, then the usage) to stderr, exit 2
    };
    Kind kind = Kind::Run;
    RemoteCommand command = RemoteCommand::None;
    // --length: the countdown's new length, set before `command` is carried out.
    std::optional<CountdownLength> length;
    // --hidden: a start of the program (at login) that shows no window, only
    // the tray icon; a copy that runs already is left as it is.
    bool hidden = false;
    QString text;

    int exitCode() const { return kind == Kind::Error ? 2 : 0; }
};

// `arguments` as main() gets them, the program's own path first. Qt's own
// options (-platform, -style, ...) are let through for QApplication.
CommandLine parseCommandLine(const QStringList& arguments);

} // namespace hy
