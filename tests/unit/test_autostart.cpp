// The autostart entry under $XDG_CONFIG_HOME/autostart.
#include "core/autostart.h"

#include "fakes/testfiles.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestAutostart : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void entry_data();
    void entry();

private:
    QTemporaryDir m_config;
};

void TestAutostart::initTestCase()
{
    QVERIFY(m_config.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path()));
    QCOMPARE(hy::autostartEntryPath(),
             m_config.filePath("autostart/example.heyinsoft.hytune.desktop"));
}

void TestAutostart::entry_data()
{
    QTest::addColumn<QString>("program");
    // "on", "off": setAutostart; "delete": the user removes the file; "add
    // LINE": the user adds a line to it.
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("exec"); // the Exec line; "" for no file
    const auto row = [](const char* name, const char* steps, bool enabled, const char* exec,
                        const char* program = "/usr/bin/hytune") {
        QTest::newRow(name) << QString::fromUtf8(program) << steps << enabled
                            << QString::fromUtf8(exec);
    };
    const char* plain = "Exec=/usr/bin/hytune --hidden";
    row("written", "on", true, plain);
    row("removed", "on, off", false, "");
    row("removed when never written", "off", false, "");
    row("removed by hand", "on, delete", false, "");
    row("Hidden=true", "on, add Hidden = true", false, plain);
    row("Hidden=false", "on, add Hidden=false", true, plain);
    row("turned off in GNOME", "on, add X-GNOME-Autostart-enabled=false", false, plain);
    row("on again over Hidden=true", "on, add Hidden=true, on", true, plain);
    row("a path with a space", "on", true, R"(Exec="/opt/禾音 软件/hytune" --hidden)",
        "/opt/禾音 软件/hytune");
    row("a path with $, % and a backslash", "on", true,
        R"(Exec="/opt/a\\$b%%c\\\\d/hytune" --hidden)", R"(/opt/a$b%c\d/hytune)");
}

void TestAutostart::entry()
{
    QFETCH(QString, program);
    QFETCH(QString, steps);
    QFETCH(bool, enabled);
    QFETCH(QString, exec);
    const QString path = hy::autostartEntryPath();
    QFile::remove(path);
    for (const QString& step : steps.split(", ")) {
        if (step == QLatin1String("on") || step == QLatin1String("off"))
            QCOMPARE(hy::setAutostart(step == QLatin1String("on"), program), QString());
        else if (step == QLatin1String("delete"))
            QVERIFY(QFile::remove(path));
        else
            QVERIFY(testfiles::writeBytes(path, testfiles::readAll(path) + step.mid(4).toUtf8()));
    }
    QCOMPARE(hy::isAutostartEnabled(), enabled);
    // Written whole: no temporary file is left beside it.
    const QStringList files = testfiles::entriesOf(m_config.filePath("autostart"));
    QCOMPARE(files, exec.isEmpty() ? QStringList{} : QStringList{QFileInfo(path).fileName()});
    if (exec.isEmpty())
        return;
    const QStringList lines = QString::fromUtf8(testfiles::readAll(path)).split('\n');
    QCOMPARE(lines.filter(QRegularExpression("^Exec=")), QStringList{exec});

    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        return; // scripts/deps.sh test installs it
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {path});
    QVERIFY(validate.waitForFinished(60000));
    const QString said = QString::fromUtf8(validate.readAll());
    QVERIFY2(validate.exitCode() == 0 && !said.contains("error"), qPrintable(said));
}

QTEST_GUILESS_MAIN(TestAutostart)
#include "test_autostart.moc"
