#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace hy {

// A shortcut of the desktop's own keyboard settings that runs a command, as
// GNOME's custom shortcuts (Settings → Keyboard → Custom Shortcuts). Where
// the desktop lets no program bind a key itself (GNOME up to 47), the
// program's key is one of these, added with the user's yes; the user sees it
// there and can change it.
struct CustomShortcut
{
    QString path;    // where the desktop keeps it
    QString name;    // as the keyboard settings list it
    QString command; // a command line
    QString binding; // in the desktop's words, e.g. "<Primary>F1"
    bool operator==(const CustomShortcut&) const = default;
};

struct ShortcutAnswer
{
    enum class Result
    {
        Done,
        Taken,  // another shortcut of the desktop holds the key: nothing changed
        Failed, // the desktop's settings could not be read or written
    };
    Result result = Result::Failed;
    std::optional<CustomShortcut> ours; // ours as the desktop keeps it now, if any
    QString holder;                     // Taken: the name of what holds the key
    QString message;                    // Taken, Failed: a sentence for the user (Chinese)
};

// The program's own custom shortcut, which starts and stops the countdown
// (`<program> --toggle`) on Ctrl + F<n>. Every call answers asynchronously:
// `done` runs later on this object's thread, never inside the call, and
// never once the object is gone. Calls are answered in the order made.
// A QObject for its thread and lifetime only: no signals, so no moc output,
// which would link all of it into every start of the program.
class DesktopShortcuts : public QObject
{
public:
    using Done = std::function<void(const ShortcutAnswer&)>;
    using QObject::QObject;

    // Ours, as left by an earlier run: Done, with `ours` empty if there is none.
    virtual void findOurs(Done done) = 0;
    // Done when Ctrl + F<functionKey> is free (or ours), else Taken and who has it.
    virtual void checkKey(int functionKey, Done done) = 0;
    // Adds ours on Ctrl + F<functionKey> running `program --toggle`, or moves
    // it there (with the command made anew). Taken when something else holds
    // the key. Every other shortcut stays as it was.
    virtual void bind(int functionKey, const QString& program, Done done) = 0;
    // Removes ours and nothing else: Done also when there was none.
    virtual void remove(Done done) = 0;
};

} // namespace hy
