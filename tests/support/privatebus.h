#pragma once

// A D-Bus daemon of the test's own, with no service files, so that nothing
// on this machine can be started on it. Services that a test stands in for
// (a portal, a notification server) register on it like on a session bus.
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

class PrivateBus
{
public:
    PrivateBus() = default;
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;
    ~PrivateBus() { stop(); }

    // Starts the daemon; an empty string on success, else what failed.
    QString start()
    {
        if (!m_dir.isValid())
            return QStringLiteral("no temporary folder");
        QFile config(m_dir.filePath("bus.conf"));
        if (!config.open(QIODevice::WriteOnly))
            return QStringLiteral("cannot write ") + config.fileName();
        config.write(
            QStringLiteral(
                R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-BUS Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:dir=%1</listen>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)")
                .arg(m_dir.path())
                .toUtf8());
        config.close();
        m_daemon.start("dbus-daemon",
                       {"--config-file=" + config.fileName(), "--print-address", "--nofork"});
        if (!m_daemon.waitForStarted())
            return QStringLiteral("dbus-daemon is needed");
        // Generous: the machine may be busy.
        const QDeadlineTimer deadline(30000);
        while (!m_daemon.canReadLine() && !deadline.hasExpired())
            m_daemon.waitForReadyRead(int(deadline.remainingTime()));
        m_address = QString::fromUtf8(m_daemon.readLine()).trimmed();
        return m_address.isEmpty() ? QStringLiteral("dbus-daemon gave no address") : QString();
    }

    void stop()
    {
        if (m_daemon.state() == QProcess::NotRunning)
            return;
        m_daemon.terminate();
        if (!m_daemon.waitForFinished(3000))
            m_daemon.kill();
        m_daemon.waitForFinished(3000);
    }

    QString address() const { return m_address; }

private:
    QTemporaryDir m_dir;
    QProcess m_daemon;
    QString m_address;
};
