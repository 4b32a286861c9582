#pragma once

// One run of a copy of the built program in a folder of its own (so its
// settings file is the test's to set), started and looked at from outside.
// Needs QtCore only and the X tools of xdesktop.h.
#include "support/xdesktop.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

// Polls `done` until it holds or `timeoutMs` has passed; true if it held.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 50)
{
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > timeoutMs)
            return done();
        QThread::msleep(pollMs);
    }
    return true;
}

inline void sleepMs(int ms)
{
    QThread::msleep(ms);
}

// A settings file's text: section Common with `lines` ("Key=Value").
inline QByteArray settingsText(const QStringList& lines)
{
    return (QStringLiteral("[Common]\r\n") + lines.join(QStringLiteral("\r\n")) +
            QStringLiteral("\r\n"))
        .toLocal8Bit();
}

// One run of a copy of the program in a folder of its own.
class App
{
public:
    App()
        : m_dir(m_root.path() + QStringLiteral("/app"))
    {
        QDir().mkpath(m_dir);
        // The program and its network module, as an unpacked folder holds them.
        m_copied =
            QFile::copy(QStringLiteral(HY_HYTUNE_BINARY), exe()) &&
            QFile::copy(QStringLiteral(HY_NET_MODULE), m_dir + QStringLiteral("/libhytune-net.so"));
    }
    ~App()
    {
        if (m_proc.state() != QProcess::NotRunning) {
            m_proc.kill();
            m_proc.waitForFinished(5000);
        }
    }
    App(const App&) = delete;
    App& operator=(const App&) = delete;

    QString exe() const { return m_dir + QStringLiteral("/hytune"); }
    QString settingsPath() const { return m_dir + QStringLiteral("/hytunetm.db"); }
    QString folder() const { return m_dir; }

    bool writeSettings(const QByteArray& text) const
    {
        QFile f(settingsPath());
        return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(text) == text.size();
    }

    // Starts the program; `extraEnv` entries are NAME=VALUE.
    bool launch(const QStringList& extraEnv = {}, const QStringList& args = {})
    {
        if (!m_copied)
            return false;
        prepare(m_proc, extraEnv);
        m_proc.setProcessChannelMode(QProcess::MergedChannels);
        m_proc.setStandardOutputFile(m_root.path() + QStringLiteral("/output.log"));
        m_proc.start(exe(), args);
        return m_proc.waitForStarted(10000);
    }

    // What one more start of the program, given `args`, did: it is meant to
    // end by itself (handing its command to the copy that runs, or printing).
    struct Run
    {
        int exitCode = -1; // -1: it did not end within the time given
        QString out, err;
        qint64 ms = 0; // from the start to its end
    };
    Run runOnce(const QStringList& args, const QStringList& extraEnv = {},
                int timeoutMs = 10000) const
    {
        QProcess p;
        prepare(p, extraEnv);
        QElapsedTimer t;
        t.start();
        p.start(exe(), args);
        Run r;
        if (p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit)
            r.exitCode = p.exitCode();
        else
            p.kill(), p.waitForFinished(2000);
        r.ms = t.elapsed();
        r.out = QString::fromLocal8Bit(p.readAllStandardOutput());
        r.err = QString::fromLocal8Bit(p.readAllStandardError());
        return r;
    }

    // Starts the program and waits for its window: its id, or 0 (with the
    // program's output in the log) when none came.
    quint32 start(const QStringList& extraEnv = {}, const QStringList& args = {})
    {
        const quint32 id = launch(extraEnv, args) ? waitForWindow() : 0;
        if (!id)
            qWarning("program output:\n%s", qPrintable(output()));
        return id;
    }

    bool running() const { return m_proc.state() == QProcess::Running; }

    // Our main window: the managed window that carries our process id.
    quint32 mainWindow() const
    {
        for (quint32 id : xdesk::clientList()) {
            if (xdesk::cardinals(id, QStringLiteral("_NET_WM_PID")).value(0) == m_proc.processId())
                return id;
        }
        return 0;
    }

    // Waits for the main window to be managed and viewable; 0 if it never is.
    quint32 waitForWindow(int timeoutMs = 15000) const
    {
        quint32 id = 0;
        waitUntil(
            [&] {
                if (!running())
                    return true;
                id = mainWindow();
                return id != 0 && xdesk::mapState(id) == QLatin1String("IsViewable");
            },
            timeoutMs, 100);
        return running() ? id : 0;
    }

    // Closes the window the way a user does (Alt+F4 through the window
    // manager) and waits for the program to end; its exit code, or -1.
    int closeAndWait(int timeoutMs = 15000)
    {
        if (const quint32 id = mainWindow()) {
            xdesk::xdotool(
                {QStringLiteral("windowactivate"), QStringLiteral("--sync"), QString::number(id)});
            xdesk::xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
        }
        return waitForEnd(timeoutMs);
    }

    // Waits for the program to end; its exit code, or -1.
    int waitForEnd(int timeoutMs = 15000)
    {
        if (!m_proc.waitForFinished(timeoutMs))
            return -1;
        return m_proc.exitStatus() == QProcess::NormalExit ? m_proc.exitCode() : -1;
    }
    qint64 pid() const { return m_proc.processId(); }

    QString output() const
    {
        QFile f(m_root.path() + QStringLiteral("/output.log"));
        return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
    }

    // Key=Value lines of the settings file's Common section, in file order.
    QList<QPair<QString, QString>> settingsEntries() const
    {
        QList<QPair<QString, QString>> entries;
        QFile f(settingsPath());
        if (!f.open(QIODevice::ReadOnly))
            return entries;
        bool inCommon = false;
        for (QByteArray raw : f.readAll().split('\n')) {
            const QString line = QString::fromLocal8Bit(raw).trimmed();
            if (line.startsWith(QLatin1Char('['))) {
                inCommon = line.compare(QStringLiteral("[Common]"), Qt::CaseInsensitive) == 0;
                continue;
            }
            const qsizetype eq = line.indexOf(QLatin1Char('='));
            if (inCommon && eq > 0)
                entries.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
        }
        return entries;
    }

private:
    void prepare(QProcess& p, const QStringList& extraEnv) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        // A closed local port: the tips download fails at once, without network.
        env.insert(QStringLiteral("HYTUNE_SERVER"), QStringLiteral("http://127.0.0.1:9"));
        for (const QString& e : extraEnv) {
            const qsizetype eq = e.indexOf(QLatin1Char('='));
            if (eq < 0)
                env.remove(e); // a name alone: not in the environment
            else
                env.insert(e.left(eq), e.mid(eq + 1));
        }
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(m_dir);
    }

    QTemporaryDir m_root;
    QString m_dir;
    bool m_copied = false;
    QProcess m_proc;
};
