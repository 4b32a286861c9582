#pragma once

#include "platform/hotkey/desktopshortcuts.h"

#include <QDBusConnection>
#include <functional>

class QThread;

namespace hy {

class GnomeKeybindings;

// Whether XDG_CURRENT_DESKTOP names GNOME (also "ubuntu:GNOME").
bool isGnomeDesktop();

// Whether this is GNOME and its desktop portal offers no GlobalShortcuts
// (GNOME up to 47): the program's key must then be a custom shortcut of
// GNOME's keyboard settings. Asks the portal without waiting for it; `done`
// runs later on `context`'s thread, unless `context` is gone.
void askGnomeWithoutShortcutPortal(const QDBusConnection& bus, QObject* context,
                                   std::function<void(bool)> done);

// The program's custom shortcut in GNOME's keyboard settings (see
// GnomeKeybindings), kept through GSettings on a thread of its own, started
// by the first call: loading libgio and the first word with dconf never hold
// up the window. Every other custom shortcut and GNOME's own keybindings
// stay as they are.
class GnomeShortcuts final : public DesktopShortcuts
{
public:
    explicit GnomeShortcuts(QObject* parent = nullptr);
    // Waits for the call being carried out, if any.
    ~GnomeShortcuts() override;

    void findOurs(Done done) override;
    void checkKey(int functionKey, Done done) override;
    void bind(int functionKey, const QString& program, Done done) override;
    void remove(Done done) override;

private:
    using Job = std::function<ShortcutAnswer(GnomeKeybindings&)>;
    void run(Job job, Done done);

    QThread* m_thread = nullptr;
    QObject* m_worker = nullptr; // lives on m_thread
};

} // namespace hy
