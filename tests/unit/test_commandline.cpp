// The command line and the status line that `--status` prints.
#include "core/remote/commandline.h"

#include <QtTest>

using hy::CommandLine;
using hy::CountdownStatus;
using hy::RemoteCommand;
using Kind = CommandLine::Kind;

Q_DECLARE_METATYPE(RemoteCommand)
Q_DECLARE_METATYPE(Kind)

class TestCommandLine : public QObject
{
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void status_data();
    void status();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<Kind>("kind");
    QTest::addColumn<RemoteCommand>("command");
    QTest::addColumn<QString>("textHas");
    const auto row = [](const char* name, QStringList args, Kind kind,
                        RemoteCommand command = RemoteCommand::None, const QString& has = {}) {
        QTest::newRow(name) << args << kind << command << has;
    };
    row("nothing", {}, Kind::Run);
    row("toggle", {"--toggle"}, Kind::Run, RemoteCommand::Toggle);
    row("start", {"--start"}, Kind::Run, RemoteCommand::Start);
    row("stop", {"--stop"}, Kind::Run, RemoteCommand::Stop);
    row("show", {"--show"}, Kind::Run, RemoteCommand::Show);
    row("status", {"--status"}, Kind::Run, RemoteCommand::Status);
    row("Qt's own option is let through", {"-platform", "xcb", "--toggle"}, Kind::Run,
        RemoteCommand::Toggle);
    row("help", {"--help"}, Kind::Help, RemoteCommand::None, "--toggle");
    row("help lists status", {"-h"}, Kind::Help, RemoteCommand::None, "--status");
    row("help hides Qt's options", {"-h"}, Kind::Help, RemoteCommand::None, "启动或停止倒计时");
    row("version", {"--version"}, Kind::Version, RemoteCommand::None, "2.0.403.2020");
    row("unknown option", {"--bogus"}, Kind::Error, RemoteCommand::None, "bogus");
    row("unknown option shows the usage", {"--bogus"}, Kind::Error, RemoteCommand::None,
        "--toggle");
    row("a stray word", {"toggle"}, Kind::Error, RemoteCommand::None, "toggle");
    row("two commands", {"--start", "--stop"}, Kind::Error, RemoteCommand::None, "--start --stop");
    row("value where none is taken", {"--toggle=1"}, Kind::Error);
    row("pause", {"--pause"}, Kind::Run, RemoteCommand::Pause);
    row("resume", {"--resume"}, Kind::Run, RemoteCommand::Resume);
    row("length with start", {"--length", "0:5:0", "--start"}, Kind::Run, RemoteCommand::Start);
    row("length alone", {"--length=1:2:3"}, Kind::Run);
    row("length out of range", {"--length", "0:60:0"}, Kind::Error, RemoteCommand::None, "0 到 59");
    row("length of nothing", {"--length", "0:0:0"}, Kind::Error, RemoteCommand::None, "--toggle");
    row("length with no value", {"--length"}, Kind::Error);
    row("hidden start", {"--hidden"}, Kind::Run);
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(Kind, kind);
    QFETCH(RemoteCommand, command);
    QFETCH(QString, textHas);
    const CommandLine line = hy::parseCommandLine(QStringList{"/usr/bin/hytune"} + args);
    QCOMPARE(line.kind, kind);
    QCOMPARE(line.command, command);
    QVERIFY2(line.text.contains(textHas), qPrintable(line.text));
    QCOMPARE(line.exitCode(), kind == Kind::Error ? 2 : 0);
    // A length is taken only as a whole good one, and --hidden only as given.
    const int at = args.indexOf(QRegularExpression("--length.*"));
    if (kind == Kind::Run && at >= 0)
        QVERIFY(line.length && line.length->totalSeconds() > 0);
    else
        QVERIFY(!line.length);
    QCOMPARE(line.hidden, args.contains("--hidden"));
    if (kind == Kind::Help)
        QVERIFY2(!line.text.contains(QLatin1String("platform")), qPrintable(line.text));
}

void TestCommandLine::status_data()
{
    QTest::addColumn<CountdownStatus>("status");
    QTest::addColumn<QString>("line");
    QTest::newRow("running") << CountdownStatus{true, false, 3725, 2}
                             << "倒计时进行中，剩余 1:2:5，循环 2 次";
    QTest::newRow("waiting") << CountdownStatus{true, true, 630, 0}
                             << "倒计时等待开始时间，剩余 0:10:30，循环 0 次";
    QTest::newRow("stopped") << CountdownStatus{false, false, 59, 0}
                             << "倒计时未运行，剩余 0:0:59，循环 0 次";
    QTest::newRow("never below 0")
        << CountdownStatus{false, false, -1, 1} << "倒计时未运行，剩余 0:0:0，循环 1 次";
    QTest::newRow("paused") << CountdownStatus{true, false, 7, 0, true}
                            << "倒计时已暂停，剩余 0:0:7，循环 0 次";
}

void TestCommandLine::status()
{
    QFETCH(CountdownStatus, status);
    QFETCH(QString, line);
    QCOMPARE(hy::statusLine(status), line);
    // The local socket carries it whole.
    CountdownStatus back;
    QVERIFY(hy::decodeStatus(hy::encodeStatus(status), &back));
    QCOMPARE(hy::statusLine(back), line);
    QVERIFY(!hy::decodeStatus(QStringLiteral("status 1 0 x 2"), &back));
    QVERIFY(!hy::decodeStatus(QStringLiteral("ok"), &back));
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
