#pragma once

#include <QMetaType>
#include <QString>
#include <span>

namespace hy {

// The program's own reverse-DNS id: its name on the session bus, the id of
// its desktop entry and AppStream data, and its icon's name.
inline constexpr const char* kAppId = "example.heyinsoft.hytune";
// Where its remote-control interface lives on the bus (interface kAppId).
inline constexpr const char* kAppObjectPath = "/example/heyinsoft/hytune";

// What a start of the program asks of the copy that runs, or of itself when
// none runs yet. None only shows the window.
enum class RemoteCommand
{
    None,
    Show,
    Toggle,
    Start,
    Stop,
    Pause,
    Resume,
    Length, // sets the countdown's length; carries it as "H:M:S"
    BindDesktopShortcut,
    UnbindDesktopShortcut,
    Status,
};

// One command as the command line, D-Bus, the local socket, --help and the
// manual page know it.
struct RemoteCommandInfo
{
    RemoteCommand command;
    const char* word;   // the option (--toggle) and the word on the local socket
    const char* method; // the D-Bus method of the interface; null: read as properties
    const char* value;  // the name of the value it takes ("H:M:S"); null for none
    const char* help;   // what --help says of it, in Chinese
    const char* manual; // what the English manual page says of it
};

// Every command, in the order --help lists them.
std::span<const RemoteCommandInfo> remoteCommands();
// The row of `command`; null for None.
const RemoteCommandInfo* remoteCommandInfo(RemoteCommand command);

// "show", "toggle", ...: the command's word on the command line and on the
// local socket; empty for None.
QString remoteCommandWord(RemoteCommand command);
// The command a word names; None for any other word.
RemoteCommand remoteCommandFromWord(const QString& word);

// What the copy that runs answers a command: empty when it was carried out,
// else the reason it was not, for the caller (a D-Bus error of that name,
// "error <message>" on the local socket).
struct RemoteAnswer
{
    QString error;   // the last part of the D-Bus error name: kAppId + ".Error." + error
    QString message; // for the user, in Chinese
    bool ok() const { return error.isEmpty(); }
};

// The countdown as seen from outside the window.
struct CountdownStatus
{
    bool running = false;
    bool waiting = false;     // held back until its start time
    int remainingSeconds = 0; // never below 0
    int cycleCount = 0;
    bool paused = false;

    friend bool operator==(const CountdownStatus&, const CountdownStatus&) = default;
};

// One line for `hytune --status`, the time left in the display's h:m:s form.
QString statusLine(const CountdownStatus& status);
// The status as the local socket carries it ("status 1 0 125 3 0"), and back;
// false for a line that is no status.
QString encodeStatus(const CountdownStatus& status);
bool decodeStatus(const QString& line, CountdownStatus* status);

} // namespace hy

Q_DECLARE_METATYPE(hy::CountdownStatus)
