#pragma once

// Presses keys on a GNOME (Mutter) desktop as a keyboard would, through
// Mutter's RemoteDesktop interface on the session bus: the desktop's own
// shortcuts see them, whichever window has the focus. Needs QtDBus.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QList>
#include <QString>

class MutterKeyboard
{
public:
    static constexpr quint32 kControl = 0xffe3;                                     // Control_L
    static constexpr quint32 functionKey(int n) { return 0xffbe + quint32(n) - 1; } // F1..F12

    // Opens and starts a remote-desktop session; error() says why not.
    MutterKeyboard()
    {
        const QDBusMessage made =
            call(QStringLiteral("/org/gnome/Mutter/RemoteDesktop"),
                 QStringLiteral("org.gnome.Mutter.RemoteDesktop"), QStringLiteral("CreateSession"));
        if (made.type() != QDBusMessage::ReplyMessage || made.arguments().isEmpty())
            return;
        m_session = made.arguments().first().value<QDBusObjectPath>().path();
        if (!sessionCall(QStringLiteral("Start")))
            m_session.clear();
    }
    ~MutterKeyboard()
    {
        if (!m_session.isEmpty())
            sessionCall(QStringLiteral("Stop"));
    }
    MutterKeyboard(const MutterKeyboard&) = delete;
    MutterKeyboard& operator=(const MutterKeyboard&) = delete;

    bool isOpen() const { return !m_session.isEmpty(); }
    QString error() const { return m_error; }

    // Presses the keys in order and lets them go in reverse order, e.g.
    // {kControl, functionKey(1)} for Ctrl+F1. Returns once Mutter has taken
    // every event.
    bool press(const QList<quint32>& keysyms)
    {
        bool ok = isOpen();
        for (auto k = keysyms.begin(); ok && k != keysyms.end(); ++k)
            ok = sessionCall(QStringLiteral("NotifyKeyboardKeysym"), {*k, true});
        for (auto k = keysyms.rbegin(); isOpen() && k != keysyms.rend(); ++k)
            ok = sessionCall(QStringLiteral("NotifyKeyboardKeysym"), {*k, false}) && ok;
        return ok;
    }
    bool pressCtrlF(int n) { return press({kControl, functionKey(n)}); }

private:
    QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                      const QVariantList& args = {})
    {
        QDBusMessage m = QDBusMessage::createMethodCall(
            QStringLiteral("org.gnome.Mutter.RemoteDesktop"), path, interface, method);
        m.setArguments(args);
        const QDBusMessage reply = QDBusConnection::sessionBus().call(m, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage)
            m_error = method + QStringLiteral(": ") + reply.errorMessage();
        return reply;
    }
    bool sessionCall(const QString& method, const QVariantList& args = {})
    {
        return call(m_session, QStringLiteral("org.gnome.Mutter.RemoteDesktop.Session"), method,
                    args)
                   .type() == QDBusMessage::ReplyMessage;
    }

    QString m_session;
    QString m_error;
};
